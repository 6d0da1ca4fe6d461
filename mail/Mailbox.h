#pragma once

#include <QList>
#include <QString>

namespace orvane::mail {

// One address of a From or To list: an optional display name and the bare address (local@domain)
// (RFC 5322 section 3.4). The address is plain ASCII; an international domain is already in
// its ASCII (punycode) form.
struct Mailbox
{
    QString displayName;
    QString address;

    friend bool operator==(const Mailbox &, const Mailbox &) = default;
};

using MailboxList = QList<Mailbox>;

} // namespace orvane::mail
