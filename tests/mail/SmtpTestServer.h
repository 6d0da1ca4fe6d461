#pragma once

#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace orvane::test {

// One SMTP server on 127.0.0.1 for a test, run with /usr/bin/python3: aiosmtpd
// (smtp_server.py) or the scripted one-connection server (scripted_smtp.py). It listens on a
// free port, is probed until ready, stops by itself after a while, and is stopped by PID when
// this object goes away.
class SmtpTestServer
{
public:
    struct Options
    {
        QString mode = "plain"; // plain, starttls, implicit
        QString cert;
        QString key;
        QString auth; // "user:password"
        bool requireAuth = false;
        QStringList refuse;
        qint64 sizeLimit = 0; // 0: none
    };

    ~SmtpTestServer();

    // Empty when Python and aiosmtpd are there, else why not.
    static QString missingPrerequisite();

    // Empty on success, else what went wrong.
    QString start(const Options &options);
    // file: what a scenario acts on (the attachment that TRUNCATE empties).
    QString startScripted(const QString &scenario, const QString &file = {});

    int port() const { return m_port; }

    // The JSON summaries of the messages received so far, in order.
    QList<QJsonObject> messages() const;
    // The scripted server's log of client lines.
    QStringList scriptLog() const;
    // Waits until the scripted server has seen its one connection end and has exited.
    bool waitForExit(int milliseconds);

private:
    QString launch(const QString &script, const QStringList &arguments, bool probe);
    void stop();

    QTemporaryDir m_dir;
    QProcess m_process;
    int m_port = 0;
};

} // namespace orvane::test
