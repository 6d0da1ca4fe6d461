#include "SlapdServer.h"

#include "Loopback.h"
#include "StopProcess.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <csignal>
#include <sys/prctl.h>

namespace orvane::test {

namespace {

const QString slapdPath = QStringLiteral("/usr/sbin/slapd");
const QString slapaddPath = QStringLiteral("/usr/sbin/slapadd");

bool writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

// A part of the configuration that the bench and the demo write too.
QString configTemplate(const QString &name)
{
    QFile file(QStringLiteral(ORVANE_SLAPD_TEMPLATE_DIR "/") + name);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

} // namespace

SlapdServer::~SlapdServer()
{
    stop();
}

bool SlapdServer::start(const std::vector<Database> &databases, const QStringList &globalConfig)
{
    m_error.clear();
    return findTools() && cleanRunFolder() && makeCertificates()
           && writeConfig(databases, globalConfig) && testConfig() && loadData(databases)
           && launch() && probe(m_plainPort) && probe(m_tlsPort);
}

void SlapdServer::stop()
{
    if (m_slapd)
        stopProcess(*m_slapd);
}

bool SlapdServer::findTools()
{
    for (const QString &tool : {slapdPath, slapaddPath}) {
        if (!QFileInfo(tool).isExecutable())
            return fail(tool + QStringLiteral(" is not installed (Debian package slapd)"));
    }
    return true;
}

bool SlapdServer::cleanRunFolder()
{
    if (!m_dir.isValid())
        return fail(QStringLiteral("no temporary directory"));
    QDir run(runPath({}));
    if (!run.removeRecursively() || !QDir().mkpath(run.path()))
        return fail(QStringLiteral("cannot make a clean ") + run.path());
    return true;
}

bool SlapdServer::makeCertificates()
{
    const QString error = m_certificates.create();
    return error.isEmpty() || fail(error);
}

bool SlapdServer::writeConfig(const std::vector<Database> &databases,
                              const QStringList &globalConfig)
{
    QString config = configTemplate("slapd.conf.in").replace("@RUN_DIR@", runPath({}));
    const QString database = configTemplate("slapd-database.conf.in");
    if (config.isEmpty() || database.isEmpty())
        return fail(QStringLiteral(
                "cannot read the slapd.conf templates in " ORVANE_SLAPD_TEMPLATE_DIR));
    QStringList overlays;
    for (const Database &db : databases)
        overlays += db.overlays;
    overlays.removeDuplicates();
    for (const QString &overlay : overlays)
        config += QStringLiteral("moduleload %1\n").arg(overlay);
    config += QStringLiteral("TLSCACertificateFile %1\nTLSCertificateFile %2\n"
                             "TLSCertificateKeyFile %3\n")
                      .arg(m_certificates.caFile(), m_certificates.serverCert(),
                           m_certificates.serverKey());
    config += globalConfig.join(u'\n') + u'\n';
    for (std::size_t i = 0; i < databases.size(); ++i) {
        const QString dbDir = runPath(QStringLiteral("db%1").arg(i));
        QDir().mkpath(dbDir);
        config += QString(database)
                          .replace("@SUFFIX@", databases[i].suffix)
                          .replace("@DB_DIR@", dbDir);
        for (const QString &line : databases[i].config)
            config += line + u'\n';
        for (const QString &overlay : databases[i].overlays)
            config += QStringLiteral("overlay %1\n").arg(overlay);
    }
    return writeFile(configPath(), config.toUtf8()) || fail("cannot write " + configPath());
}

bool SlapdServer::testConfig()
{
    // -u: the databases are still empty, and slaptest would open them read-only.
    return run(slapdPath, {"-Ttest", "-u", "-f", configPath()});
}

bool SlapdServer::loadData(const std::vector<Database> &databases)
{
    for (std::size_t i = 0; i < databases.size(); ++i) {
        const QString ldifPath = runPath(QStringLiteral("data%1.ldif").arg(i));
        if (!writeFile(ldifPath, databases[i].ldif.toUtf8()))
            return fail("cannot write " + ldifPath);
        if (!run(slapaddPath,
                 {"-q", "-f", configPath(), "-b", databases[i].suffix, "-l", ldifPath}))
            return false;
    }
    return true;
}

bool SlapdServer::launch()
{
    m_plainPort = freePort();
    m_tlsPort = freePort();
    m_slapd = std::make_unique<QProcess>();
    // Its output goes to a file (a pipe nobody reads could fill up and stall it), and it ends
    // with this test process even if the test dies without stopping it.
    m_slapd->setProcessChannelMode(QProcess::MergedChannels);
    m_slapd->setStandardOutputFile(runPath("slapd.log"));
    m_slapd->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
    const QString urls = QStringLiteral("ldap://127.0.0.1:%1/ ldaps://127.0.0.1:%2/")
                                 .arg(m_plainPort)
                                 .arg(m_tlsPort);
    // Debug level "stats": the operations it reads go to the log, which logText() hands out.
    m_slapd->start(slapdPath, {"-d", "stats", "-f", configPath(), "-h", urls});
    return m_slapd->waitForStarted(10000)
           || fail(QStringLiteral("slapd did not start: ") + m_slapd->errorString());
}

bool SlapdServer::probe(int port)
{
    const QDeadlineTimer deadline(10000);
    while (!deadline.hasExpired()) {
        if (m_slapd->state() == QProcess::NotRunning)
            return fail(QStringLiteral("slapd exited before opening port %1: %2")
                                .arg(port)
                                .arg(logTail()));
        if (acceptsConnections(port))
            return true;
        QThread::msleep(20);
    }
    return fail(
            QStringLiteral("slapd did not open port %1 within 10 s: %2").arg(port).arg(logTail()));
}

bool SlapdServer::run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    process.closeWriteChannel();
    if (!process.waitForStarted(10000))
        return fail(QStringLiteral("%1 did not start: %2").arg(program, process.errorString()));
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit
        || process.exitCode() != 0)
        return fail(QStringLiteral("%1 %2 failed: %3")
                            .arg(program, arguments.join(u' '),
                                 QString::fromLocal8Bit(process.readAll())));
    return true;
}

bool SlapdServer::fail(const QString &why)
{
    m_error = why;
    return false;
}

QString SlapdServer::runPath(const QString &name) const
{
    return m_dir.filePath(name.isEmpty() ? QStringLiteral("run") : "run/" + name);
}

QString SlapdServer::logText() const
{
    QFile log(runPath("slapd.log"));
    return log.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(log.readAll()) : QString();
}

QString SlapdServer::logTail() const
{
    QFile log(runPath("slapd.log"));
    if (!log.open(QIODevice::ReadOnly))
        return QStringLiteral("(no log)");
    return QString::fromLocal8Bit(log.readAll().right(2000));
}

} // namespace orvane::test
