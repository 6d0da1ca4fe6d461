#include "HeldSmtpServer.h"

#include <QFile>

namespace orvane::test {

QString HeldSmtpServer::start()
{
    // It writes its port to the "port" file of the folder it is given.
    return launch(QStringLiteral(ORVANE_UI_TEST_DIR "/held_smtp.py"),
                  {"--dir", path(), "--lifetime", "60"}, Ready::PortWritten);
}

bool HeldSmtpServer::holding(int n) const
{
    return QFile::exists(filePath(QStringLiteral("holding-%1").arg(n)));
}

void HeldSmtpServer::release(int n, const QByteArray &reply)
{
    // Written whole, then renamed: the server never reads half a reply.
    const QString path = filePath(QStringLiteral("release-%1").arg(n));
    QFile file(path + ".tmp");
    if (file.open(QIODevice::WriteOnly))
        file.write(reply);
    file.close();
    QFile::rename(path + ".tmp", path);
}

int HeldSmtpServer::messages() const
{
    QFile log(filePath("log"));
    if (!log.open(QIODevice::ReadOnly))
        return 0;
    return int(log.readAll().count("MESSAGE "));
}

} // namespace orvane::test
