#include "CdoMessage.h"

#include "mail/AddressList.h"
#include "mail/CdoFields.h"
#include "mail/MessageComposer.h"
#include "mail/Redaction.h"
#include "mail/SmtpTransport.h"
#include "mail/TextChecks.h"
#include "mail/TransportConfig.h"
#include "mail/oauth/SignIn.h"

#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>

#include <optional>

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

// A send ready to go: the server, login and envelope, the message, and the provider that signs
// in for it where the login is OAuth.
struct CdoMessage::Prepared
{
    SmtpRequest request;
    MimeStream message;
    std::optional<oauth::Provider> oauthProvider;
};

Status CdoMessage::send()
{
    m_receipt = {};
    // Everything from here on may wait on the server, so all of it goes to the wait: the
    // window keeps painting while it runs elsewhere. An OAuth sign-in may need the user (a
    // browser, a code to type) and shows a prompt of its own, so it comes between two waits.
    std::shared_ptr<Prepared> prepared;
    const Status status = form::waitFor(m_options.wait, [&]() -> Status {
        Result<std::shared_ptr<Prepared>> ready = prepare();
        if (!ready.ok())
            return ready.status;
        prepared = std::move(ready.value);
        return prepared->oauthProvider ? Status::success() : transfer(*prepared);
    });
    if (!status.ok() || !prepared || !prepared->oauthProvider)
        return status;
    if (Status s = signIn(*prepared); !s.ok())
        return s;
    return form::waitFor(m_options.wait, [&] { return transfer(*prepared); });
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

Result<std::shared_ptr<CdoMessage::Prepared>> CdoMessage::prepare() const
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

    auto prepared = std::make_shared<Prepared>();
    SmtpRequest &request = prepared->request;
    request.host = config.value.host;
    request.port = config.value.port;
    request.useTls = config.value.useSsl;
    request.authenticate = config.value.authenticate;
    request.user = config.value.user;
    request.password = config.value.password;
    request.mailFrom = parts.from.address.toLatin1();
    for (const Mailbox &mailbox : parts.to)
        request.rcptTo.append(mailbox.address.toLatin1());
    prepared->message = std::move(message.value);

    // A login without a password to a server an OAuth provider is configured for signs in
    // with OAuth; a password typed always logs in with it, as it always did.
    if (request.authenticate && request.password.isEmpty() && m_options.oauthProviders) {
        const oauth::ProviderTable providers = m_options.oauthProviders();
        if (const oauth::ConfiguredProvider *entry = providers.forServer(request.host)) {
            if (!entry->problem.isEmpty())
                return Status::failure(StatusKind::SignInConfiguration, 0,
                                       entry->problem
                                               + QStringLiteral(" The message was not sent."));
            prepared->oauthProvider = entry->provider;
        }
    }
    return {Status::success(), std::move(prepared)};
}

Status CdoMessage::signIn(Prepared &prepared)
{
    const oauth::Provider &provider = *prepared.oauthProvider;
    if (prepared.request.user.isEmpty())
        return Status::failure(StatusKind::Configuration, 0,
                               QStringLiteral("Signing in to %1 needs your mailbox address as "
                                              "the user name. Enter it and send again.")
                                       .arg(provider.name));
    if (!m_options.signIn)
        return Status::failure(StatusKind::Internal, 0,
                               QStringLiteral("The OAuth sign-in is not available in this "
                                              "program. The message was not sent."));
    Result<QByteArray> token = m_options.signIn->accessToken(provider, prepared.request.user);
    if (!token.ok())
        return token.status;
    prepared.request.bearer = token.value;
    m_receipt.remark = m_options.signIn->takeRemark();
    return Status::success();
}

Status CdoMessage::transfer(Prepared &prepared)
{
    SmtpTransport transport(m_options);
    transport.setProgress(uploadProgress());
    Status status = transport.send(prepared.request, prepared.message);
    redact(status, prepared.request.password);
    if (status.ok()) {
        m_receipt.reply = transport.acceptedReply();
        m_receipt.size = prepared.message.size();
    }
    return status;
}

} // namespace orvane::mail
