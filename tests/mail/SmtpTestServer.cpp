#include "SmtpTestServer.h"

#include <QFile>
#include <QJsonDocument>

namespace orvane::test {

QString SmtpTestServer::missingPrerequisite()
{
    return missingPython("aiosmtpd", "python3-aiosmtpd");
}

QString SmtpTestServer::start(const Options &options)
{
    QStringList arguments = {"--mode", options.mode, "--out", path()};
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
    return launch("smtp_server.py", arguments, Ready::Accepting);
}

QString SmtpTestServer::startScripted(const QString &scenario, const QString &file)
{
    // The scripted server takes one connection only, so a probe would use it up.
    QStringList arguments = {scenario, "--log", filePath("script.log")};
    if (!file.isEmpty())
        arguments << "--file" << file;
    return launch("scripted_smtp.py", arguments, Ready::PortWritten);
}

QString SmtpTestServer::launch(const QString &script, const QStringList &arguments, Ready ready)
{
    return ScriptServer::launch(
            QStringLiteral(ORVANE_MAIL_TEST_DIR "/") + script,
            QStringList{"--port-file", portFile(), "--lifetime", "120"} + arguments, ready);
}

QList<QJsonObject> SmtpTestServer::messages() const
{
    return numberedJson(QStringLiteral("message"));
}

QStringList SmtpTestServer::scriptLog() const
{
    QFile file(filePath("script.log"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
}

} // namespace orvane::test
