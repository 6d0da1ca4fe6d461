#pragma once

#include "mail/Message.h"
#include "mail/TransportOptions.h"

#include <QStringList>

#include <map>

namespace orvane::mail {

// The message component: configuration fields by full name, the four texts, attachments, and
// Send over SMTP with libcurl. Every value is checked at send(), before anything connects.
class CdoMessage : public Message
{
public:
    explicit CdoMessage(TransportOptions options);

    form::Result<std::unique_ptr<ConfigField>> configurationField(const QString &fullName) override;
    form::Status updateFields() override;
    form::Status setTo(const QString &to) override;
    form::Status setFrom(const QString &from) override;
    form::Status setSubject(const QString &subject) override;
    form::Status setTextBody(const QString &body) override;
    form::Status addAttachment(const QString &path, const QString &user,
                               const QString &password) override;
    form::Status send() override;
    void setProgress(Progress progress) override { m_progress = std::move(progress); }
    Receipt receipt() const override { return m_receipt; }

    // Fields written but not yet committed, and those in effect: for tests.
    const std::map<QString, FieldValue> &committedFields() const { return m_committed; }

private:
    class Field;
    struct Prepared;

    // Everything short of the network: the fields, the addresses, the composed message.
    form::Result<std::shared_ptr<Prepared>> prepare() const;
    // With a login, an empty password and an OAuth provider for the server: the access token
    // the send signs in with, got before anything connects to the server.
    form::Status signIn(Prepared &prepared);
    form::Status transfer(Prepared &prepared);
    // The caller's progress hook, and the wait's when there is one.
    Progress uploadProgress() const;

    TransportOptions m_options;
    std::map<QString, FieldValue> m_pending;
    std::map<QString, FieldValue> m_committed;
    QString m_to;
    QString m_from;
    QString m_subject;
    QString m_body;
    QStringList m_attachments;
    Progress m_progress;
    Receipt m_receipt;
};

} // namespace orvane::mail
