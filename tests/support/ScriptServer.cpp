#include "ScriptServer.h"

#include "Loopback.h"
#include "StopProcess.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>

#include <csignal>
#include <sys/prctl.h>

namespace orvane::test {

namespace {

// Debian's interpreter: the python3 first on PATH may be a build without Debian's modules.
const QString python = QStringLiteral("/usr/bin/python3");

} // namespace

ScriptServer::~ScriptServer()
{
    stop();
}

void ScriptServer::stop()
{
    stopProcess(m_process);
}

bool ScriptServer::waitForExit(int milliseconds)
{
    return m_process.state() == QProcess::NotRunning || m_process.waitForFinished(milliseconds);
}

QString ScriptServer::missingPython(const QString &imports, const QString &packages)
{
    if (!QFile::exists(python))
        return QStringLiteral("%1 is missing (Debian package python3)").arg(python);
    if (imports.isEmpty())
        return {};
    QProcess check;
    check.start(python, {"-c", "import " + imports});
    if (!check.waitForFinished(20000) || check.exitStatus() != QProcess::NormalExit
        || check.exitCode() != 0)
        return QStringLiteral("%1 cannot import %2 (Debian packages %3)")
                .arg(python, imports, packages);
    return {};
}

QString ScriptServer::launch(const QString &script, const QStringList &arguments, Ready ready,
                             const QString &interpreter)
{
    const QString name = QFileInfo(script).fileName();
    if (QString missing = missingPython(); !missing.isEmpty())
        return missing;
    if (!m_dir.isValid())
        return QStringLiteral("no temporary directory");
    // Its complaints (failed handshakes the tests cause) and its output stay in its folder.
    m_process.setStandardOutputFile(filePath("server.out"));
    m_process.setStandardErrorFile(filePath("server.err"));
    m_process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
    m_process.start(interpreter.isEmpty() ? python : interpreter, QStringList{script} + arguments);
    if (!m_process.waitForStarted(10000))
        return QStringLiteral("%1 did not start: %2").arg(name, m_process.errorString());

    const QDeadlineTimer deadline(15000);
    while (!deadline.hasExpired()) {
        QFile file(portFile()); // written whole by a rename, so never half there
        if (file.open(QIODevice::ReadOnly) && (m_port = file.readAll().trimmed().toInt()) > 0
            && (ready == Ready::PortWritten || acceptsConnections(m_port)))
            return {};
        // Waits a little, and notices a server that exited early (no event loop runs here).
        if (m_process.waitForFinished(20))
            return exitedEarly(name);
    }
    return QStringLiteral("%1 did not become ready on 127.0.0.1 within 15 s").arg(name);
}

QList<QJsonObject> ScriptServer::numberedJson(const QString &prefix) const
{
    QList<QJsonObject> result;
    for (int i = 1;; ++i) {
        QFile file(filePath(QStringLiteral("%1-%2.json").arg(prefix).arg(i)));
        if (!file.open(QIODevice::ReadOnly))
            break;
        result.append(QJsonDocument::fromJson(file.readAll()).object());
    }
    return result;
}

QString ScriptServer::exitedEarly(const QString &script) const
{
    QFile err(filePath("server.err"));
    err.open(QIODevice::ReadOnly);
    return QStringLiteral("%1 exited early with code %2: %3")
            .arg(script)
            .arg(m_process.exitCode())
            .arg(QString::fromLocal8Bit(err.readAll().right(2000)));
}

} // namespace orvane::test
