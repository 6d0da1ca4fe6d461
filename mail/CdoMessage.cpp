#include "CdoMessage.h"

#include "mail/AddressList.h"
#include "mail/CdoFields.h"
#include "mail/MessageComposer.h"
#include "mail/Redaction.h"
#include "mail/SmtpTransport.h"
#include "mail/TextChecks.h"
#include "mail/TransportConfig.h"

#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>

namespace orvane::mail {

using form::Result;
using form::Status;
using form::StatusKind;

class CdoMessage::Field : public ConfigField
{
public:
    Field(std::map<QString, FieldValue> &pending, QString name)
        : m_pending(pending)
        , m_name(std::move(name))
    {}

    Status setValue(const FieldValue &value) override
    {
        m_pending[m_name] = value;
        return Status::success();
    }

private:
    std::map<QString, FieldValue> &m_pending;
    QString m_name;
};

namespace {

Status attachmentFailure(const QString &path, const QString &why)
{
    return Status::failure(
            StatusKind::Attachment, 0,
            QStringLiteral("The attachment \"%1\" cannot be used: %2").arg(path, why));
}

Result<MailboxList> addresses(const QString &text, const QString &role)
{
    Result<MailboxList> parsed = AddressList::parse(text);
    if (!parsed.ok())
        return Status::failure(parsed.status.kind, 0,
                               role + QStringLiteral(": ") + parsed.status.description);
    return parsed;
}

} // namespace

CdoMessage::CdoMessage(TransportOptions options)
    : m_options(std::move(options))
{}

Result<std::unique_ptr<ConfigField>> CdoMessage::configurationField(const QString &fullName)
{
    const QLatin1String prefix(cdo::configurationNamespace);
    if (!fullName.startsWith(prefix) || fullName.size() == prefix.size())
        return Status::failure(
                StatusKind::Configuration, 0,
                QStringLiteral("\"%1\" is not a configuration field.").arg(fullName));
    return {Status::success(), std::make_unique<Field>(m_pending, fullName)};
}

Status CdoMessage::updateFields()
{
    for (const auto &[name, value] : m_pending)
        m_committed[name] = value;
    m_pending.clear();
    return Status::success();
}

Status CdoMessage::setTo(const QString &to)
{
    m_to = to;
    return Status::success();
}

Status CdoMessage::setFrom(const QString &from)
{
    m_from = from;
    return Status::success();
}

Status CdoMessage::setSubject(const QString &subject)
{
    m_subject = subject;
    return Status::success();
}

Status CdoMessage::setTextBody(const QString &body)
{
    m_body = body;
    return Status::success();
}

Status CdoMessage::addAttachment(const QString &path, const QString &, const QString &)
{
    // Checked now so that an unreadable file fails here, not half-way through the upload.
    const QFileInfo info(path);
    if (!info.exists())
        return attachmentFailure(path, QStringLiteral("there is no such file."));
    if (!info.isFile())
        return attachmentFailure(path, QStringLiteral("it is not a regular file."));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return attachmentFailure(path, file.errorString());
    m_attachments.append(path);
    return Status::success();
}

Status CdoMessage::send()
{
    // Everything from here on may wait on the server, so all of it goes to the wait: the
    // window keeps painting while it runs elsewhere.
    return form::waitFor(m_options.wait, [this] { return submit(); });
}

Message::Progress CdoMessage::uploadProgress() const
{
    if (!m_options.wait)
        return m_progress;
    return [wait = m_options.wait, own = m_progress](qint64 sent, qint64 total) {
        wait->uploaded(sent, total);
        return !own || own(sent, total);
    };
}

Status CdoMessage::submit()
{
    Result<TransportConfig> config = TransportConfig::fromFields(m_committed);
    if (!config.ok())
        return config.status;

    Result<MailboxList> from = addresses(m_from, QStringLiteral("From"));
    if (!from.ok())
        return from.status;
    if (from.value.size() != 1)
        return Status::failure(StatusKind::Address, 0,
                               QStringLiteral("From: \"%1\" holds %2 addresses; the sender "
                                              "must be exactly one.")
                                       .arg(m_from)
                                       .arg(from.value.size()));
    Result<MailboxList> to = addresses(m_to, QStringLiteral("To"));
    if (!to.ok())
        return to.status;

    MessageParts parts;
    parts.from = from.value.first();
    parts.to = to.value;
    parts.subject = m_subject;
    parts.body = m_body;
    parts.date = QDateTime::currentDateTime();
    const QMimeDatabase mimeTypes;
    for (const QString &path : m_attachments) {
        const QFileInfo info(path);
        if (!info.isFile())
            return attachmentFailure(path, QStringLiteral("it is no longer there."));
        parts.attachments.append({path, info.fileName(),
                                  mimeTypes.mimeTypeForFile(info).name().toLatin1(), info.size()});
    }
    Result<MimeStream> message = MessageComposer().compose(parts);
    if (!message.ok())
        return message.status;

    SmtpRequest request;
    request.host = config.value.host;
    request.port = config.value.port;
    request.useTls = config.value.useSsl;
    request.authenticate = config.value.authenticate;
    request.user = config.value.user;
    request.password = config.value.password;
    request.mailFrom = parts.from.address.toLatin1();
    for (const Mailbox &mailbox : parts.to)
        request.rcptTo.append(mailbox.address.toLatin1());

    SmtpTransport transport(m_options);
    transport.setProgress(uploadProgress());
    Status status = transport.send(request, message.value);
    redact(status, config.value.password);
    return status;
}

} // namespace orvane::mail
