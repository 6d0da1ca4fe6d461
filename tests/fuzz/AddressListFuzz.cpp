// Fuzz target: the address-list parser behind the sender and recipient boxes. An accepted
// list holds no line break or NUL, and writing it as a header and reading that back gives the
// same mailboxes.
#include "FuzzCheck.h"
#include "mail/AddressList.h"
#include "mail/HeaderEncoder.h"

#include <QRegularExpression>

#include <cstddef>
#include <cstdint>

using namespace orvane;
using fuzz::require;
using fuzz::show;

namespace {

constexpr qsizetype maxInput = 4096;

bool hasBreakOrNul(const QString &text)
{
    return text.contains(u'\r') || text.contains(u'\n') || text.contains(QChar(0));
}

// What a mail reader sees: each display name written as a run of encoded words (RFC 2047)
// decoded, as a quoted string so that the address parser, which does not decode them, reads
// the name. Only a run that starts a mailbox and stands before its "<" is a name: an address
// such as =?utf-8?B?QW5u?=x@example.com is plain atext and a reader leaves it alone.
QByteArray decodeNames(const QByteArray &field)
{
    static const QRegularExpression words(QStringLiteral(
            "(?<![^ ,])=\\?utf-8\\?B\\?[A-Za-z0-9+/=]*\\?=( =\\?utf-8\\?B\\?[A-Za-z0-9+/=]*\\?=)*"
            "(?= <)"));
    const QString text = QString::fromLatin1(field);
    QString out;
    qsizetype done = 0;
    for (const QRegularExpressionMatch &match : words.globalMatch(text)) {
        QByteArray decoded;
        for (const QString &word : match.captured().split(u' '))
            decoded += QByteArray::fromBase64(word.mid(10, word.size() - 12).toLatin1());
        QString name = QString::fromUtf8(decoded);
        name.replace(u'\\', QStringLiteral("\\\\")).replace(u'"', QStringLiteral("\\\""));
        out += text.mid(done, match.capturedStart() - done) + u'"' + name + u'"';
        done = match.capturedEnd();
    }
    return (out + text.mid(done)).toUtf8();
}

QByteArray describe(const mail::MailboxList &list)
{
    QByteArray out;
    for (const mail::Mailbox &box : list)
        out += "[" + show(box.displayName) + "] <" + show(box.address) + ">\n";
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > std::size_t(maxInput))
        return 0;
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const form::Result<mail::MailboxList> first = mail::AddressList::parseUtf8(bytes);
    if (!first.status.ok()) {
        require(!first.status.description.isEmpty(), "a refusal says why", bytes);
        return 0;
    }
    require(!first.value.isEmpty(), "an accepted list holds an address", bytes);
    const auto listed = [&] { return describe(first.value); };
    for (const mail::Mailbox &box : first.value) {
        require(!hasBreakOrNul(box.address) && !hasBreakOrNul(box.displayName),
                "accepted addresses hold no CR, LF or NUL", listed);
        require(box.address.size() <= mail::AddressList::maxAddressLength,
                "accepted addresses respect the length limit", listed);
    }

    // The header as it goes out, unfolded, must read back as the same list.
    QByteArray field = mail::HeaderEncoder::mailboxField("To", first.value);
    require(field.startsWith("To: ") && field.endsWith("\r\n"), "a well-formed field", field);
    field = decodeNames(field.mid(4).chopped(2).replace("\r\n", ""));
    const form::Result<mail::MailboxList> again = mail::AddressList::parseUtf8(field);
    require(again.status.ok(), "the formatted list parses again",
            field + "\n" + again.status.description.toUtf8());
    const auto compared = [&] { return describe(first.value) + "--\n" + describe(again.value); };
    require(again.value.size() == first.value.size(), "as many addresses after formatting",
            compared);
    for (qsizetype i = 0; i < first.value.size(); ++i) {
        const mail::Mailbox &before = first.value.at(i);
        const mail::Mailbox &after = again.value.at(i);
        require(after.address == before.address, "the same addresses after formatting", compared);
        require(after.displayName == before.displayName.simplified(),
                "the same names after formatting", compared);
    }
    return 0;
}
