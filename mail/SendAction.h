#pragma once

#include "form/FormFields.h"
#include "mail/MailComponents.h"

namespace orvane::mail {

// Texts the Send action shows, exactly as the user sees them.
inline constexpr const char *blankAddressText = "From or To address is blank!";
inline constexpr const char *defaultSubject = "IMAGE from Internet FAX";
inline constexpr const char *missingAttachmentText
        = "File Attachment can not be found! Message sent without attachment";
inline constexpr const char *sentStatusPrefix = "Message Sent. ";
inline constexpr const char *errorInfix = " error ";
// The status line when the user cancelled the sign-in: not a failure to report in a box.
inline constexpr const char *cancelledStatus = "Sign-in cancelled: the message was not sent.";

// The Send button.
void btnOrvane_Click(form::FormFields &form, MailComponents &components);

// The Send button's work once the sender and the recipient are known not to be blank: the
// message is created, configured, composed, given its attachment and submitted, and the status
// line says so. Returns the failure, which nothing has reported yet, or the server's receipt.
form::Result<Message::Receipt> sendForm(form::FormFields &form, MailComponents &components);

// The failure box's text: the executable's base name, " error " and what went wrong.
QString failureBoxText(const form::FormFields &form, const QString &description);

// The text with leading and trailing space characters (U+0020 only) removed; tabs and line
// breaks stay.
QString trimSpaces(const QString &text);

} // namespace orvane::mail
