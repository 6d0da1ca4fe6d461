#include "SendAction.h"

#include "mail/CdoFields.h"
#include "mail/GeneralDateTime.h"

#include <QDateTime>

#include <functional>

namespace orvane::mail {

using form::Control;
using form::Result;
using form::Status;
using form::Ticked;

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
Status setField(Message &message, const char *shortName,
                const std::function<FieldValue()> &readValue)
{
    auto field = message.configurationField(cdo::fullName(shortName));
    if (!field.ok())
        return field.status;
    return field.value->setValue(readValue());
}

// Where a field's value comes from: a fixed number, or a box's text without its outer spaces.
std::function<FieldValue()> int16(int value)
{
    return [value] { return FieldValue(std::int16_t(value)); };
}

std::function<FieldValue()> trimmedTextOf(form::FormFields &form, Control control)
{
    return [&form, control] { return FieldValue(trimSpaces(form.text(control))); };
}

Status configureLogin(form::FormFields &form, Message &message)
{
    if (form.value(Control::chkSMTPAuth) != Ticked)
        return setField(message, cdo::smtpAuthenticate, int16(cdo::authAnonymous));

    if (Status s = setField(message, cdo::smtpAuthenticate, int16(cdo::authBasic)); !s.ok())
        return s;
    if (Status s = setField(message, cdo::sendUserName, trimmedTextOf(form, Control::txtUsername));
        !s.ok())
        return s;
    return setField(message, cdo::sendPassword, trimmedTextOf(form, Control::txtPassword));
}

Status configureTransport(form::FormFields &form, Message &message)
{
    if (Status s = setField(message, cdo::sendUsing, int16(cdo::sendUsingPort)); !s.ok())
        return s;
    if (Status s = setField(message, cdo::smtpServer, trimmedTextOf(form, Control::txtSMTP));
        !s.ok())
        return s;
    if (Status s = setField(message, cdo::smtpServerPort, trimmedTextOf(form, Control::txtPort));
        !s.ok())
        return s;
    if (Status s = configureLogin(form, message); !s.ok())
        return s;

    // Read whether the box is shown or hidden: a tick left in a hidden box still counts.
    const auto useSsl = [&form] {
        return FieldValue(AutomationBool::fromBool(form.value(Control::chkSSL) == Ticked));
    };
    if (Status s = setField(message, cdo::smtpUseSsl, useSsl); !s.ok())
        return s;
    return message.updateFields();
}

Status compose(form::FormFields &form, Message &message)
{
    if (Status s = message.setTo(form.text(Control::txtTo)); !s.ok())
        return s;
    if (Status s = message.setFrom(form.text(Control::txtFrom)); !s.ok())
        return s;

    const QString subject = trimSpaces(form.text(Control::txtSubject)).isEmpty()
                                    ? QString::fromLatin1(defaultSubject)
                                    : form.text(Control::txtSubject);
    if (Status s = message.setSubject(subject); !s.ok())
        return s;

    return message.setTextBody(form.text(Control::txtBody) + QStringLiteral("\r\n\r\n"));
}

Status attach(form::FormFields &form, MailComponents &components, ClickObjects &objects)
{
    if (trimSpaces(form.text(Control::txtAttachment)).isEmpty())
        return Status::success();

    auto fileSystem = components.createFileSystem();
    if (!fileSystem.ok())
        return fileSystem.status;
    objects.fileSystem = std::move(fileSystem.value);

    // The untrimmed path: a name that really begins with a space is tested and sent as such.
    const auto exists = objects.fileSystem->fileExists(form.text(Control::txtAttachment));
    if (!exists.ok())
        return exists.status;
    if (!exists.value) {
        form.messageBox(QString::fromLatin1(missingAttachmentText));
        return Status::success();
    }
    return objects.message->addAttachment(form.text(Control::txtAttachment), QString(), QString());
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

QString failureBoxText(const form::FormFields &form, const QString &description)
{
    return form.executableBaseName() + QLatin1String(errorInfix) + description;
}

Result<Message::Receipt> sendForm(form::FormFields &form, MailComponents &components)
{
    // Every step below returns a status; the first failure skips the remaining steps. The
    // objects are released when this returns, whichever way.
    ClickObjects objects;
    auto message = components.createMessage();
    if (!message.ok())
        return message.status;
    objects.message = std::move(message.value);

    if (Status s = configureTransport(form, *objects.message); !s.ok())
        return s;
    if (Status s = compose(form, *objects.message); !s.ok())
        return s;
    if (Status s = attach(form, components, objects); !s.ok())
        return s;
    if (Status s = objects.message->send(); !s.ok())
        return s;

    Message::Receipt receipt = objects.message->receipt();
    QString sent = QString::fromLatin1(sentStatusPrefix)
                   + generalDateTimeText(QDateTime::currentDateTime());
    if (!receipt.remark.isEmpty())
        sent += QStringLiteral("  ") + receipt.remark;
    form.setCaption(Control::lblStatus, sent);
    objects.message.reset();
    objects.fileSystem.reset();
    return {Status::success(), std::move(receipt)};
}

void btnOrvane_Click(form::FormFields &form, MailComponents &components)
{
    form.setCaption(Control::lblStatus, QString());

    const QString from = trimSpaces(form.text(Control::txtFrom));
    const QString to = trimSpaces(form.text(Control::txtTo));
    if (from.isEmpty() || to.isEmpty()) {
        form.messageBox(QString::fromLatin1(blankAddressText));
        return;
    }

    const Status status = sendForm(form, components).status;
    if (status.kind == form::StatusKind::Cancelled)
        form.setCaption(Control::lblStatus, QString::fromLatin1(cancelledStatus));
    else if (!status.ok())
        form.messageBox(failureBoxText(form, status.description));
}

} // namespace orvane::mail
