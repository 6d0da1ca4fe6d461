#include "SmtpTestServer.h"

#include "support/StopProcess.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QJsonDocument>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace orvane::test {

namespace {

const QString python = QStringLiteral("/usr/bin/python3");

QString scriptPath(const QString &name)
{
    return QStringLiteral(ORVANE_MAIL_TEST_DIR) + u'/' + name;
}

bool accepts(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(quint16(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
    ::close(fd);
    return ok;
}

} // namespace

SmtpTestServer::~SmtpTestServer()
{
    stop();
}

QString SmtpTestServer::missingPrerequisite()
{
    if (!QFile::exists(python))
        return QStringLiteral("%1 is missing (Debian package python3)").arg(python);
    QProcess check;
    check.start(python, {"-c", "import aiosmtpd"});
    if (!check.waitForFinished(20000) || check.exitCode() != 0)
        return QStringLiteral("aiosmtpd cannot be imported by %1 (Debian package "
                              "python3-aiosmtpd)")
                .arg(python);
    return {};
}

QString SmtpTestServer::start(const Options &options)
{
    QStringList arguments = {"--mode", options.mode, "--out", m_dir.path()};
    if (!options.cert.isEmpty())
        arguments << "--cert" << options.cert << "--key" << options.key;
    if (!options.auth.isEmpty())
        arguments << "--auth" << options.auth;
    if (options.requireAuth)
        arguments << "--require-auth";
    for (const QString &address : options.refuse)
        arguments << "--refuse" << address;
    if (options.sizeLimit > 0)
        arguments << "--size-limit" << QString::number(options.sizeLimit);
    return launch("smtp_server.py", arguments, true);
}

QString SmtpTestServer::startScripted(const QString &scenario, const QString &file)
{
    // The scripted server takes one connection only, so it is not probed: it writes its port
    // once it listens, and the kernel queues our connection until it accepts.
    QStringList arguments = {scenario, "--log", m_dir.filePath("script.log")};
    if (!file.isEmpty())
        arguments << "--file" << file;
    return launch("scripted_smtp.py", arguments, false);
}

QString SmtpTestServer::launch(const QString &script, const QStringList &arguments, bool probe)
{
    if (!m_dir.isValid())
        return QStringLiteral("no temporary directory");
    const QString portFile = m_dir.filePath("port");
    // The servers' own complaints (failed handshakes the tests cause) stay in the temp dir.
    m_process.setStandardErrorFile(m_dir.filePath("server.err"));
    m_process.start(python,
                    QStringList{scriptPath(script), "--port-file", portFile, "--lifetime", "120"}
                            + arguments);
    if (!m_process.waitForStarted(10000))
        return QStringLiteral("%1 did not start: %2").arg(script, m_process.errorString());

    QDeadlineTimer deadline(15000);
    while (!deadline.hasExpired()) {
        QFile file(portFile);
        if (file.open(QIODevice::ReadOnly)) {
            m_port = file.readAll().trimmed().toInt();
            if (m_port > 0 && (!probe || accepts(m_port)))
                return {};
        }
        // Also notices a server that exited early (QProcess has no event loop here).
        if (m_process.waitForFinished(20))
            return QStringLiteral("%1 exited early with code %2")
                    .arg(script)
                    .arg(m_process.exitCode());
    }
    return QStringLiteral("%1 did not become ready within 15 s").arg(script);
}

void SmtpTestServer::stop()
{
    stopProcess(m_process);
}

QList<QJsonObject> SmtpTestServer::messages() const
{
    QList<QJsonObject> result;
    for (int i = 1;; ++i) {
        QFile file(m_dir.filePath(QStringLiteral("message-%1.json").arg(i)));
        if (!file.open(QIODevice::ReadOnly))
            break;
        result.append(QJsonDocument::fromJson(file.readAll()).object());
    }
    return result;
}

bool SmtpTestServer::waitForExit(int milliseconds)
{
    return m_process.state() == QProcess::NotRunning || m_process.waitForFinished(milliseconds);
}

QStringList SmtpTestServer::scriptLog() const
{
    QFile file(m_dir.filePath("script.log"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
}

} // namespace orvane::test
