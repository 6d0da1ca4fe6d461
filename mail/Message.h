#pragma once

#include "mail/ConfigField.h"
#include "mail/MailStatus.h"

#include <QString>

#include <functional>
#include <memory>

namespace orvane::mail {

// One e-mail message with its transport configuration, used for one send. Every call returns
// a status; nothing throws.
class Message
{
public:
    virtual ~Message() = default;

    // The configuration field of that full name (namespace + short name, see CdoFields.h).
    // Writes take effect for Send only after updateFields().
    virtual MailResult<std::unique_ptr<ConfigField>> configurationField(const QString &fullName)
            = 0;
    virtual MailStatus updateFields() = 0;

    // Texts go in unchanged; address syntax and encoding are checked at send().
    virtual MailStatus setTo(const QString &to) = 0;
    virtual MailStatus setFrom(const QString &from) = 0;
    virtual MailStatus setSubject(const QString &subject) = 0;
    virtual MailStatus setTextBody(const QString &body) = 0;

    // Attaches the file at path. user and password are for locations that need a login; a
    // local file needs none and they are ignored.
    virtual MailStatus addAttachment(const QString &path, const QString &user,
                                     const QString &password)
            = 0;

    // Submits the message to the configured SMTP server; returns when the server has taken it
    // or the send has failed.
    virtual MailStatus send() = 0;

    // Called during send() with bytes uploaded so far and the message size; returning false
    // stops the send (FailureKind::Aborted). Optional.
    using Progress = std::function<bool(qint64 sent, qint64 total)>;
    virtual void setProgress(Progress progress) = 0;
};

} // namespace orvane::mail
