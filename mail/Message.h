#pragma once

#include "form/Status.h"
#include "mail/ConfigField.h"

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
    virtual form::Result<std::unique_ptr<ConfigField>> configurationField(const QString &fullName)
            = 0;
    virtual form::Status updateFields() = 0;

    // Texts go in unchanged; address syntax and encoding are checked at send().
    virtual form::Status setTo(const QString &to) = 0;
    virtual form::Status setFrom(const QString &from) = 0;
    virtual form::Status setSubject(const QString &subject) = 0;
    virtual form::Status setTextBody(const QString &body) = 0;

    // Attaches the file at path. user and password are for locations that need a login; a
    // local file needs none and they are ignored.
    virtual form::Status addAttachment(const QString &path, const QString &user,
                                       const QString &password)
            = 0;

    // Submits the message to the configured SMTP server; returns when the server has taken it
    // or the send has failed.
    virtual form::Status send() = 0;

    // Called during send() with bytes uploaded so far and the message size; returning false
    // stops the send (form::StatusKind::Aborted). Optional.
    using Progress = std::function<bool(qint64 sent, qint64 total)>;
    virtual void setProgress(Progress progress) = 0;

    // What the server said when it took the message ("250 2.0.0 Ok: queued as 4F2A1") and the
    // message's size in bytes, after a successful send(); empty and 0 where none is known.
    struct Receipt
    {
        QString reply;
        qint64 size = 0;
        // What the user should know beyond the success (a sign-in that lasts only for this
        // run, say); empty when nothing.
        QString remark;
    };
    virtual Receipt receipt() const { return {}; }
};

} // namespace orvane::mail
