#pragma once

#include "form/Status.h"
#include "mail/Mailbox.h"

#include <QByteArray>
#include <QString>

namespace orvane::mail {

// Reads the address lists people type: "Ann <ann@example.com>, \"Doe, John\" <j@example.org>;
// bob@example.net". Commas and semicolons separate addresses outside quotes, angle brackets,
// comments and domain literals. Every address must be valid (RFC 5322 section 3.4 without the
// obsolete forms and groups); the first bad one fails the whole list, named in the description.
// Never throws; refuses line breaks, NUL and other control characters, and broken text.
class AddressList
{
public:
    static constexpr int maxAddressLength = 254; // RFC 5321 section 4.5.3.1.3, minus the <>
    static constexpr int maxLocalPartLength = 64;
    static constexpr int maxDisplayNameLength = 900;

    static form::Result<MailboxList> parse(const QString &text);
    // The same for raw bytes, which must be valid UTF-8.
    static form::Result<MailboxList> parseUtf8(const QByteArray &text);

    // Checks one bare address (local@domain) and returns it normalised (international domain in
    // ASCII form).
    static form::Result<QString> checkAddress(const QString &address);

private:
    static form::Result<Mailbox> parseMailbox(const QString &element);
};

} // namespace orvane::mail
