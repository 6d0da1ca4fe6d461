#include "SambaDomain.h"

#include "Loopback.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QThread>

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <netinet/in.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace orvane::test {

namespace {

const QString sambaPath = QStringLiteral("/usr/sbin/samba");
const QString pythonPath = QStringLiteral("/usr/bin/python3"); // Debian's, with its samba modules
// samba -i ends on its own after this long, should a test run leave it behind anyway.
constexpr int maximumRuntimeSeconds = 3600;
// Fixed: samba has no setting for them. Probed in the order samba opens them; without TLS it
// opens neither 636 nor 3269.
constexpr int ports[] = {88, 389, 464, 636, 3268, 3269};
constexpr bool tlsPort(int port)
{
    return port == 636 || port == 3269;
}

QString scriptPath()
{
    return QStringLiteral(ORVANE_TEST_SUPPORT_DIR "/samba_dc.py");
}

QString cacheDir()
{
    const QString configured = qEnvironmentVariable("ORVANE_TEST_CACHE_DIR");
    return configured.isEmpty() ? QDir::tempPath() + QStringLiteral("/orvane-test-cache")
                                : configured;
}

bool portFree(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    // TIME_WAIT leftovers of an earlier run do not stop samba, so they must not stop us.
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    const sockaddr_in address = loopback(port);
    const bool bound = ::bind(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0
                       || errno != EADDRINUSE;
    ::close(fd);
    return bound;
}

QString portHolder(int port)
{
    QProcess ss;
    ss.start(QStringLiteral("ss"),
             {QStringLiteral("-Hltnp"), QStringLiteral("sport = :%1").arg(port)});
    ss.waitForFinished(5000);
    const QString holder = QString::fromLocal8Bit(ss.readAllStandardOutput()).simplified();
    return holder.isEmpty() ? QStringLiteral("another program") : holder;
}

bool waitForGroupEnd(pid_t group)
{
    const QDeadlineTimer deadline(5000);
    while (::kill(-group, 0) == 0) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(20);
    }
    return true;
}

} // namespace

SambaDomain::~SambaDomain()
{
    stop();
}

bool SambaDomain::available(QString *why)
{
    const auto no = [why](const QString &reason) {
        if (why)
            *why = reason;
        return false;
    };
    if (!QFileInfo(sambaPath).isExecutable())
        return no(sambaPath + QStringLiteral(" is not installed (Debian package samba)"));
    if (!QFileInfo(pythonPath).isExecutable())
        return no(pythonPath + QStringLiteral(" is not installed (Debian python3-samba)"));
    if (!QFileInfo::exists(scriptPath()))
        return no(scriptPath() + QStringLiteral(" is missing"));
    if (::geteuid() != 0)
        return no(QStringLiteral("a Samba domain controller needs root (it binds ports 88 and "
                                 "389 of 127.0.0.1); these tests run as root in CI"));
    for (const int port : ports) {
        if (!portFree(port))
            return no(QStringLiteral("port %1 of 127.0.0.1 is in use by %2")
                              .arg(port)
                              .arg(portHolder(port)));
    }
    return true;
}

bool SambaDomain::prepareRunFolder(Tls tls)
{
    m_run = std::make_unique<QTemporaryDir>(QDir::tempPath()
                                            + QStringLiteral("/orvane-samba-XXXXXX"));
    if (!m_run->isValid()) {
        m_error = QStringLiteral("cannot create a run folder: ") + m_run->errorString();
        return false;
    }
    QProcess script;
    script.setProcessChannelMode(QProcess::MergedChannels);
    QStringList arguments = {scriptPath(), QStringLiteral("--cache"), cacheDir(),
                             QStringLiteral("--run"), m_run->path()};
    if (tls == Tls::Off)
        arguments.append(QStringLiteral("--no-tls"));
    script.start(pythonPath, arguments);
    // Provisioning the template the first time takes half a minute; copying it, a second.
    if (!script.waitForFinished(300000) || script.exitStatus() != QProcess::NormalExit
        || script.exitCode() != 0) {
        script.kill();
        m_error = QStringLiteral("samba_dc.py failed: ")
                  + QString::fromUtf8(script.readAll()).trimmed();
        return false;
    }

    QFile tsv(m_run->filePath(QStringLiteral("people.tsv")));
    if (!tsv.open(QIODevice::ReadOnly)) {
        m_error = QStringLiteral("cannot read ") + tsv.fileName();
        return false;
    }
    m_people.clear();
    for (const QByteArray &line : tsv.readAll().split('\n')) {
        const QList<QByteArray> fields = line.split('\t');
        if (fields.size() == 3)
            m_people.append({QString::fromUtf8(fields[0]), QString::fromUtf8(fields[1]),
                             QString::fromUtf8(fields[2])});
    }
    return true;
}

QString SambaDomain::logText() const
{
    QFile log(runDir() + QStringLiteral("/samba.log"));
    return log.open(QIODevice::ReadOnly) ? QString::fromUtf8(log.readAll()) : QString();
}

QString SambaDomain::logTail() const
{
    const QStringList lines = logText().split(u'\n');
    return lines.sliced(qMax(0, lines.size() - 20)).join(u'\n');
}

bool SambaDomain::exitedEarly(int port)
{
    if (m_samba->state() != QProcess::NotRunning)
        return false;
    // A port another program holds is named in the log, and it is not the one we waited for
    // when that program answered our probe in samba's stead.
    static const QRegularExpression failed(QStringLiteral("Failed to listen on [0-9.]+:(\\d+)"));
    const QRegularExpressionMatch match = failed.match(logText());
    m_error = QStringLiteral("samba exited before opening port %1:\n%2")
                      .arg(match.hasMatch() ? match.captured(1).toInt() : port)
                      .arg(logTail());
    return true;
}

bool SambaDomain::waitUntilListening(int port)
{
    const QDeadlineTimer deadline(60000);
    while (!deadline.hasExpired()) {
        if (exitedEarly(port))
            return false;
        if (acceptsConnections(port))
            return true;
        m_samba->waitForFinished(50); // the pause, and how QProcess learns that samba died
    }
    m_error = QStringLiteral("samba did not listen on port %1 within 60 s:\n%2")
                      .arg(port)
                      .arg(logTail());
    return false;
}

bool SambaDomain::start(Tls tls)
{
    stop();
    if (!available(&m_error) || !prepareRunFolder(tls))
        return false;

    m_samba = std::make_unique<QProcess>();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("KRB5_CONFIG"), krb5Config());
    m_samba->setProcessEnvironment(environment);
    // The log goes to a file (a pipe nobody reads could fill up and stall samba). Standard
    // input stays a pipe from this process: samba -i ends when it closes, so the DC goes with
    // the test however the test ends. Its own session makes its workers one process group that
    // stop() can signal as a whole.
    m_samba->setProcessChannelMode(QProcess::MergedChannels);
    m_samba->setStandardOutputFile(runDir() + QStringLiteral("/samba.log"));
    m_samba->setChildProcessModifier([] {
        ::setsid();
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    });
    m_samba->start(sambaPath, {QStringLiteral("-i"), QStringLiteral("-s"),
                               runDir() + QStringLiteral("/etc/smb.conf"),
                               QStringLiteral("--maximum-runtime=%1").arg(maximumRuntimeSeconds)});
    if (!m_samba->waitForStarted(10000)) {
        m_error = QStringLiteral("samba did not start: ") + m_samba->errorString();
        return false;
    }
    m_group = static_cast<pid_t>(m_samba->processId());
    bool ready = true;
    for (const int port : ports) {
        if (tls == Tls::On || !tlsPort(port))
            ready = ready && waitUntilListening(port);
    }
    // Samba gives up as a whole when one listener fails, after the others opened; and a
    // squatter on a port answers the probe too. A moment's grace tells them apart.
    if (ready)
        m_samba->waitForFinished(300);
    if (!ready || exitedEarly(3268)) {
        stop(); // the workers samba left behind
        return false;
    }
    return true;
}

void SambaDomain::stop()
{
    if (m_group > 0) {
        // The group outlives its leader while the workers wind down, and samba leaves them
        // behind when it gives up early; a PID still naming a process group is not reused, so
        // signalling the group cannot hit a stranger.
        ::kill(-m_group, SIGTERM);
        m_samba->waitForFinished(5000); // reaped, or the leader stays in the group as a zombie
        if (!waitForGroupEnd(m_group)) {
            ::kill(-m_group, SIGKILL);
            m_samba->waitForFinished(5000);
            waitForGroupEnd(m_group);
        }
        m_group = 0;
    }
    m_samba.reset();
}

bool SambaDomain::kinit(const QString &principal, const QString &password, const QString &cacheFile,
                        const QStringList &options)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("KRB5_CONFIG"), krb5Config());
    environment.insert(QStringLiteral("KRB5CCNAME"), QStringLiteral("FILE:") + cacheFile);
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QStringLiteral("kinit"), options + QStringList{principal});
    process.waitForStarted(10000);
    process.write(password.toUtf8() + '\n');
    process.closeWriteChannel();
    if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit
        || process.exitCode() != 0) {
        process.kill();
        m_error = QStringLiteral("kinit %1 failed: %2")
                          .arg(principal, QString::fromLocal8Bit(process.readAll()).trimmed());
        return false;
    }
    return true;
}

QStringList SambaDomain::expectedMails(const QString &prefix) const
{
    QStringList mails;
    for (const Person &person : m_people) {
        if (!person.mail.isEmpty() && person.name.startsWith(prefix, Qt::CaseInsensitive))
            mails.append(person.mail);
    }
    return mails;
}

} // namespace orvane::test
