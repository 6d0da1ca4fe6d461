#include "HeldSmtpServer.h"

#include <QDeadlineTimer>
#include <QFile>

#include <csignal>

namespace orvane::test {

namespace {
const QString python = QStringLiteral("/usr/bin/python3");
}

HeldSmtpServer::~HeldSmtpServer()
{
    const qint64 pid = m_process.processId();
    if (m_process.state() == QProcess::NotRunning || pid <= 0)
        return;
    ::kill(pid_t(pid), SIGTERM);
    if (!m_process.waitForFinished(5000)) {
        ::kill(pid_t(pid), SIGKILL);
        m_process.waitForFinished(5000);
    }
}

QString HeldSmtpServer::start()
{
    if (!QFile::exists(python))
        return python + QStringLiteral(" is missing (Debian package python3)");
    if (!m_dir.isValid())
        return QStringLiteral("no temporary directory");
    m_process.setStandardErrorFile(m_dir.filePath("server.err"));
    m_process.start(python, {QStringLiteral(ORVANE_UI_TEST_DIR "/held_smtp.py"), "--dir",
                             m_dir.path(), "--lifetime", "60"});
    QDeadlineTimer deadline(15000);
    while (!deadline.hasExpired()) {
        QFile file(m_dir.filePath("port"));
        if (file.open(QIODevice::ReadOnly) && (m_port = file.readAll().toInt()) > 0)
            return {};
        if (m_process.waitForFinished(20))
            return QStringLiteral("held_smtp.py ended early: ") + m_process.errorString();
    }
    return QStringLiteral("held_smtp.py did not listen within 15 s");
}

bool HeldSmtpServer::holding(int n) const
{
    return QFile::exists(m_dir.filePath(QStringLiteral("holding-%1").arg(n)));
}

void HeldSmtpServer::release(int n, const QByteArray &reply)
{
    // Written whole, then renamed: the server never reads half a reply.
    const QString path = m_dir.filePath(QStringLiteral("release-%1").arg(n));
    QFile file(path + ".tmp");
    if (file.open(QIODevice::WriteOnly))
        file.write(reply);
    file.close();
    QFile::rename(path + ".tmp", path);
}

int HeldSmtpServer::messages() const
{
    QFile log(m_dir.filePath("log"));
    if (!log.open(QIODevice::ReadOnly))
        return 0;
    return int(log.readAll().count("MESSAGE "));
}

} // namespace orvane::test
