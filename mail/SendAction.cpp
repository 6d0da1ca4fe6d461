#include "SendAction.h"

#include "mail/CdoFields.h"
#include "mail/GeneralDateTime.h"

#include <QDateTime>

#include <functional>

namespace orvane::mail {

using form::Control;

namespace {

// The objects one click owns. Declared before the steps run so that they are released when
// the handler ends, whichever way it ends.
struct ClickObjects
{
    std::unique_ptr<Message> message;
    std::unique_ptr<FileSystem> fileSystem;
};

// Fetches the field by full name first and only then reads the control that gives its value,
// the order the message component has always seen.
MailStatus setField(Message &message, const char *shortName,
                    const std::function<FieldValue()> &readValue)
{
    MailResult<std::unique_ptr<ConfigField>> field
            = message.configurationField(cdo::fullName(shortName));
    if (!field.status.ok())
        return field.status;
    if (!field.value)
        return MailStatus::failure(FailureKind::Internal, 0,
                                   QStringLiteral("The configuration field %1 is not available.")
                                           .arg(QLatin1String(shortName)));
    return field.value->setValue(readValue());
}

FieldValue int16(int value)
{
    return FieldValue(std::int16_t(value));
}

MailStatus configureTransport(form::FormFields &form, Message &message)
{
    auto textOf = [&form](Control control) {
        return [&form, control]() { return FieldValue(trimSpaces(form.text(control))); };
    };
    MailStatus status = setField(message, cdo::sendUsing, [] { return int16(cdo::sendUsingPort); });
    if (status.ok())
        status = setField(message, cdo::smtpServer, textOf(Control::txtSMTP));
    if (status.ok())
        status = setField(message, cdo::smtpServerPort, textOf(Control::txtPort));
    if (!status.ok())
        return status;

    if (form.value(Control::chkSMTPAuth) == form::Ticked) {
        status = setField(message, cdo::smtpAuthenticate, [] { return int16(cdo::authBasic); });
        if (status.ok())
            status = setField(message, cdo::sendUserName, textOf(Control::txtUsername));
        if (status.ok())
            status = setField(message, cdo::sendPassword, textOf(Control::txtPassword));
    } else {
        status = setField(message, cdo::smtpAuthenticate, [] { return int16(cdo::authAnonymous); });
    }
    if (!status.ok())
        return status;

    // Read whether the box is shown or hidden: a tick left in a hidden box still counts.
    status = setField(message, cdo::smtpUseSsl, [&form] {
        return FieldValue(AutomationBool::fromBool(form.value(Control::chkSSL) == form::Ticked));
    });
    if (!status.ok())
        return status;
    return message.updateFields();
}

MailStatus compose(form::FormFields &form, Message &message)
{
    MailStatus status = message.setTo(form.text(Control::txtTo));
    if (status.ok())
        status = message.setFrom(form.text(Control::txtFrom));
    if (!status.ok())
        return status;

    if (trimSpaces(form.text(Control::txtSubject)).isEmpty())
        status = message.setSubject(QString::fromLatin1(defaultSubject));
    else
        status = message.setSubject(form.text(Control::txtSubject));
    if (!status.ok())
        return status;

    return message.setTextBody(form.text(Control::txtBody) + QStringLiteral("\r\n\r\n"));
}

MailStatus attach(form::FormFields &form, MailComponents &components, ClickObjects &objects)
{
    if (trimSpaces(form.text(Control::txtAttachment)).isEmpty())
        return MailStatus::success();

    MailResult<std::unique_ptr<FileSystem>> created = components.createFileSystem();
    if (!created.status.ok())
        return created.status;
    objects.fileSystem = std::move(created.value);

    // The untrimmed path: a name that really begins with a space is tested and sent as such.
    const MailResult<bool> exists
            = objects.fileSystem->fileExists(form.text(Control::txtAttachment));
    if (!exists.status.ok())
        return exists.status;
    if (!exists.value) {
        form.messageBox(QString::fromLatin1(missingAttachmentText));
        return MailStatus::success();
    }
    return objects.message->addAttachment(form.text(Control::txtAttachment), QString(), QString());
}

MailStatus sendSteps(form::FormFields &form, MailComponents &components, ClickObjects &objects)
{
    MailResult<std::unique_ptr<Message>> created = components.createMessage();
    if (!created.status.ok())
        return created.status;
    if (!created.value)
        return MailStatus::failure(FailureKind::Internal, 0,
                                   QStringLiteral("The message could not be created."));
    objects.message = std::move(created.value);

    MailStatus status = configureTransport(form, *objects.message);
    if (status.ok())
        status = compose(form, *objects.message);
    if (status.ok())
        status = attach(form, components, objects);
    if (status.ok())
        status = objects.message->send();
    if (!status.ok())
        return status;

    form.setCaption(Control::lblStatus,
                    QString::fromLatin1(sentStatusPrefix)
                            + generalDateTimeText(QDateTime::currentDateTime()));
    objects.message.reset();
    objects.fileSystem.reset();
    return status;
}

} // namespace

QString trimSpaces(const QString &text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text.at(begin) == u' ')
        ++begin;
    while (end > begin && text.at(end - 1) == u' ')
        --end;
    return text.mid(begin, end - begin);
}

void btnOrvane_Click(form::FormFields &form, MailComponents &components)
{
    // Every step below returns a status; the first failure skips the remaining steps and
    // lands in the one report at the end.
    ClickObjects objects;
    form.setCaption(Control::lblStatus, QString());

    const QString from = trimSpaces(form.text(Control::txtFrom));
    const QString to = trimSpaces(form.text(Control::txtTo));
    if (from.isEmpty() || to.isEmpty()) {
        form.messageBox(QString::fromLatin1(blankAddressText));
        return;
    }

    const MailStatus status = sendSteps(form, components, objects);
    if (!status.ok())
        form.messageBox(form.executableBaseName() + QLatin1String(errorInfix)
                        + status.description());
}

} // namespace orvane::mail
