#include "ScriptedLdapServer.h"

#include "support/StopProcess.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QJsonDocument>

#include <csignal>
#include <sys/prctl.h>

namespace orvane::test {

namespace {

// Debian's interpreter: the python3 first on PATH may be a build without Debian's modules.
const QString python = QStringLiteral("/usr/bin/python3");

} // namespace

ScriptedLdapServer::~ScriptedLdapServer()
{
    stop();
}

QString ScriptedLdapServer::missingPrerequisite()
{
    static const QString missing = [] {
        if (!QFile::exists(python))
            return QStringLiteral("%1 is missing (Debian package python3)").arg(python);
        QProcess check;
        check.start(python, {"-c", "import pyasn1.codec.ber.encoder, pyasn1_modules.rfc2251"});
        if (!check.waitForFinished(20000) || check.exitStatus() != QProcess::NormalExit
            || check.exitCode() != 0)
            return QStringLiteral("%1 cannot import pyasn1 and pyasn1_modules (Debian packages "
                                  "python3-pyasn1 and python3-pyasn1-modules)")
                    .arg(python);
        return QString();
    }();
    return missing;
}

QString ScriptedLdapServer::start(const Script &script)
{
    if (!m_dir.isValid())
        return QStringLiteral("no temporary directory");
    const QString portFile = m_dir.filePath("port");
    QStringList arguments = {QStringLiteral(ORVANE_DIRECTORY_TEST_DIR "/scripted_ldap.py"),
                             script.scenario,
                             "--entries",
                             QString::number(script.entries),
                             "--port-file",
                             portFile,
                             "--log",
                             m_dir.filePath("requests.log"),
                             "--lifetime",
                             "120"};
    if (script.sorts)
        arguments << "--sorts";
    m_process.setStandardErrorFile(m_dir.filePath("server.err"));
    // It ends with this test process even if the test dies without stopping it.
    m_process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
    m_process.start(python, arguments);
    if (!m_process.waitForStarted(10000))
        return QStringLiteral("scripted_ldap.py did not start: ") + m_process.errorString();

    const QDeadlineTimer deadline(15000);
    while (!deadline.hasExpired()) {
        QFile file(portFile); // written whole by a rename, so never half there
        if (file.open(QIODevice::ReadOnly) && (m_port = file.readAll().trimmed().toInt()) > 0)
            return QString();
        // Waits a little for the port file, and notices a server that exited early.
        if (m_process.waitForFinished(10)) {
            QFile err(m_dir.filePath("server.err"));
            err.open(QIODevice::ReadOnly);
            return QStringLiteral("scripted_ldap.py exited early: ")
                   + QString::fromLocal8Bit(err.readAll());
        }
    }
    return QStringLiteral("scripted_ldap.py did not write its port within 15 s");
}

void ScriptedLdapServer::stop()
{
    stopProcess(m_process);
}

QList<QJsonObject> ScriptedLdapServer::log() const
{
    QList<QJsonObject> requests;
    QFile file(m_dir.filePath("requests.log"));
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
