#include "SlapdServer.h"

#include "support/Loopback.h"
#include "support/StopProcess.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <arpa/inet.h>
#include <csignal>
#include <netinet/in.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace orvane::test {

namespace {

const QString slapdPath = QStringLiteral("/usr/sbin/slapd");
const QString slapaddPath = QStringLiteral("/usr/sbin/slapadd");

bool writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

int loopbackSocket()
{
    return ::socket(AF_INET, SOCK_STREAM, 0);
}

} // namespace

SlapdServer::~SlapdServer()
{
    stop();
}

int SlapdServer::freePort()
{
    const int fd = loopbackSocket();
    sockaddr_in address = loopback(0);
    socklen_t length = sizeof address;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0
        && ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    ::close(fd);
    return port;
}

bool SlapdServer::run(const QString &program, const QStringList &arguments, const QByteArray &input)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    if (!process.waitForStarted(10000)) {
        m_error = QStringLiteral("%1 did not start: %2").arg(program, process.errorString());
        return false;
    }
    if (!input.isEmpty())
        process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit
        || process.exitCode() != 0) {
        m_error = QStringLiteral("%1 %2 failed: %3")
                          .arg(program, arguments.join(u' '),
                               QString::fromLocal8Bit(process.readAll()));
        return false;
    }
    return true;
}

bool SlapdServer::makeCertificates()
{
    const QString d = m_dir.path() + u'/';
    const QString openssl = QStringLiteral("openssl");
    const QStringList ecKey
            = {"-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"};
    return run(openssl, QStringList{"req", "-x509"} + ecKey
                                + QStringList{"-keyout", d + "ca.key", "-out", d + "ca.pem",
                                              "-days", "2", "-subj", "/CN=orvane test CA",
                                              "-addext", "basicConstraints=critical,CA:TRUE",
                                              "-addext", "keyUsage=critical,keyCertSign,cRLSign"})
           && run(openssl, QStringList{"req"} + ecKey
                                   + QStringList{"-keyout", d + "server.key", "-out",
                                                 d + "server.csr", "-subj", "/CN=localhost"})
           && writeFile(d + "server.ext",
                        "subjectAltName=DNS:localhost,IP:127.0.0.1\n"
                        "basicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\n")
           && run(openssl, {"x509", "-req", "-in", d + "server.csr", "-CA", d + "ca.pem", "-CAkey",
                            d + "ca.key", "-CAcreateserial", "-out", d + "server.pem", "-days", "2",
                            "-extfile", d + "server.ext"});
}

bool SlapdServer::waitUntilListening(int port)
{
    const QDeadlineTimer deadline(10000);
    while (!deadline.hasExpired()) {
        if (m_slapd->state() == QProcess::NotRunning) {
            QFile log(m_dir.filePath(QStringLiteral("slapd.log")));
            log.open(QIODevice::ReadOnly);
            m_error = QStringLiteral("slapd exited: ") + QString::fromLocal8Bit(log.readAll());
            return false;
        }
        if (acceptsConnections(port))
            return true;
        QThread::msleep(20);
    }
    m_error = QStringLiteral("slapd did not listen on port %1 within 10 s").arg(port);
    return false;
}

bool SlapdServer::start(const std::vector<Database> &databases, const QStringList &globalConfig)
{
    for (const QString &tool : {slapdPath, slapaddPath}) {
        if (!QFileInfo(tool).isExecutable()) {
            m_error = tool + QStringLiteral(" is not installed (Debian package slapd)");
            return false;
        }
    }
    if (!m_dir.isValid() || !makeCertificates())
        return false;

    const QString d = m_dir.path() + u'/';
    QString config = QStringLiteral("include /etc/ldap/schema/core.schema\n"
                                    "include /etc/ldap/schema/cosine.schema\n"
                                    "include /etc/ldap/schema/inetorgperson.schema\n"
                                    "modulepath /usr/lib/ldap\n"
                                    "moduleload back_mdb\n");
    QStringList overlays;
    for (const Database &db : databases)
        overlays += db.overlays;
    overlays.removeDuplicates();
    for (const QString &overlay : overlays)
        config += QStringLiteral("moduleload %1\n").arg(overlay);
    config += QStringLiteral(
                      "pidfile %1slapd.pid\nTLSCACertificateFile %1ca.pem\n"
                      "TLSCertificateFile %1server.pem\nTLSCertificateKeyFile %1server.key\n")
                      .arg(d);
    config += globalConfig.join(u'\n') + u'\n';
    for (std::size_t i = 0; i < databases.size(); ++i) {
        const QString dbDir = d + QStringLiteral("db%1").arg(i);
        QDir().mkpath(dbDir);
        config += QStringLiteral("\ndatabase mdb\nsuffix \"%1\"\nrootdn \"cn=admin,%1\"\n"
                                 "directory %2\nmaxsize 268435456\n")
                          .arg(databases[i].suffix, dbDir);
        for (const QString &line : databases[i].config)
            config += line + u'\n';
        for (const QString &overlay : databases[i].overlays)
            config += QStringLiteral("overlay %1\n").arg(overlay);
    }
    const QString configPath = d + "slapd.conf";
    if (!writeFile(configPath, config.toUtf8())) {
        m_error = QStringLiteral("cannot write ") + configPath;
        return false;
    }
    for (std::size_t i = 0; i < databases.size(); ++i) {
        const QString ldifPath = d + QStringLiteral("data%1.ldif").arg(i);
        if (!writeFile(ldifPath, databases[i].ldif.toUtf8())
            || !run(slapaddPath,
                    {"-q", "-f", configPath, "-b", databases[i].suffix, "-l", ldifPath}))
            return false;
    }

    m_plainPort = freePort();
    m_tlsPort = freePort();
    m_slapd = std::make_unique<QProcess>();
    // Its output goes to a file (a pipe nobody reads could fill up and stall it), and it ends
    // with this test process even if the test dies without stopping it.
    m_slapd->setProcessChannelMode(QProcess::MergedChannels);
    m_slapd->setStandardOutputFile(d + "slapd.log");
    m_slapd->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
    const QString urls = QStringLiteral("ldap://127.0.0.1:%1/ ldaps://127.0.0.1:%2/")
                                 .arg(m_plainPort)
                                 .arg(m_tlsPort);
    m_slapd->start(slapdPath, {"-d", "0", "-f", configPath, "-h", urls});
    if (!m_slapd->waitForStarted(10000)) {
        m_error = QStringLiteral("slapd did not start: ") + m_slapd->errorString();
        return false;
    }
    return waitUntilListening(m_plainPort) && waitUntilListening(m_tlsPort);
}

void SlapdServer::stop()
{
    if (m_slapd)
        stopProcess(*m_slapd);
}

} // namespace orvane::test
