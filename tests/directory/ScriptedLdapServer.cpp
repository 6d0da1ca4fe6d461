#include "ScriptedLdapServer.h"

#include <QFile>
#include <QJsonDocument>

namespace orvane::test {

QString ScriptedLdapServer::missingPrerequisite()
{
    // Asked once: every test of the fault suite asks.
    static const QString missing = missingPython("pyasn1.codec.ber.encoder, pyasn1_modules.rfc2251",
                                                 "python3-pyasn1 and python3-pyasn1-modules");
    return missing;
}

QString ScriptedLdapServer::start(const Script &script)
{
    QStringList arguments = {script.scenario,
                             "--entries",
                             QString::number(script.entries),
                             "--port-file",
                             portFile(),
                             "--log",
                             filePath("requests.log"),
                             "--lifetime",
                             "120"};
    if (script.sorts)
        arguments << "--sorts";
    // The port is written once it listens, and the kernel queues a connection until it accepts.
    return launch(QStringLiteral(ORVANE_DIRECTORY_TEST_DIR "/scripted_ldap.py"), arguments,
                  Ready::PortWritten);
}

QList<QJsonObject> ScriptedLdapServer::log() const
{
    QList<QJsonObject> requests;
    QFile file(filePath("requests.log"));
    if (!file.open(QIODevice::ReadOnly))
        return requests;
    for (const QByteArray &line : file.readAll().split('\n')) {
        if (!line.isEmpty())
            requests.append(QJsonDocument::fromJson(line).object());
    }
    return requests;
}

QList<QJsonObject> ScriptedLdapServer::events(const QString &event) const
{
    QList<QJsonObject> matching;
    for (const QJsonObject &request : log()) {
        if (request.value("event").toString() == event)
            matching.append(request);
    }
    return matching;
}

} // namespace orvane::test
