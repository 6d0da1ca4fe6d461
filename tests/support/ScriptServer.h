#pragma once

#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace orvane::test {

// A test server written in Python, run with /usr/bin/python3 on a free port of 127.0.0.1: it
// writes its port to a file in its own temporary folder once it listens, ends with this test
// process even if the test dies, and is stopped by PID when this object goes away. Each server
// derived from it keeps only its own arguments and what it reads back from its folder.
class ScriptServer
{
public:
    virtual ~ScriptServer();

    int port() const { return m_port; }
    void stop();
    // Waits until the server has ended by itself (a one-connection server after its connection).
    bool waitForExit(int milliseconds);

    // Empty when /usr/bin/python3 is there and can import every module named in imports (none
    // to check the interpreter only), else why not, naming the Debian packages.
    static QString missingPython(const QString &imports = {}, const QString &packages = {});

protected:
    enum class Ready {
        PortWritten, // the kernel queues a connection until the server accepts it
        Accepting,   // the port must also take a connection, as a server with many may not yet
    };

    // Runs python3 (or the interpreter given) script arguments; empty once the server is ready,
    // else why it is not.
    QString launch(const QString &script, const QStringList &arguments, Ready ready,
                   const QString &interpreter = {});

    // The server's temporary folder, where it writes its port file ("port"), logs and results;
    // what it prints goes to "server.out" and "server.err" there.
    QString path() const { return m_dir.path(); }
    QString filePath(const QString &name) const { return m_dir.filePath(name); }
    QString portFile() const { return filePath(QStringLiteral("port")); }
    // The JSON objects the server wrote as prefix-1.json, prefix-2.json... in order.
    QList<QJsonObject> numberedJson(const QString &prefix) const;

private:
    QString exitedEarly(const QString &script) const;

    QTemporaryDir m_dir;
    QProcess m_process;
    int m_port = 0;
};

} // namespace orvane::test
