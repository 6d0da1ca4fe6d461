#pragma once

#include "support/ScriptServer.h"

#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

namespace orvane::test {

// One SMTP server for a test: aiosmtpd (smtp_server.py), probed until it accepts, or the
// scripted one-connection server (scripted_smtp.py). Either stops by itself after two minutes.
class SmtpTestServer : public ScriptServer
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

    // Empty when Python and aiosmtpd are there, else why not.
    static QString missingPrerequisite();

    // Empty on success, else what went wrong.
    QString start(const Options &options);
    // file: what a scenario acts on (the attachment that TRUNCATE empties).
    QString startScripted(const QString &scenario, const QString &file = {});

    // The JSON summaries of the messages received so far, in order.
    QList<QJsonObject> messages() const;
    // The scripted server's log of client lines.
    QStringList scriptLog() const;

private:
    QString launch(const QString &script, const QStringList &arguments, Ready ready);
};

} // namespace orvane::test
