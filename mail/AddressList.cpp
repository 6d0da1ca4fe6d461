#include "AddressList.h"

#include "mail/TextChecks.h"

#include <QStringDecoder>
#include <QUrl>

namespace orvane::mail {

using form::Result;
using form::Status;
using form::StatusKind;

namespace {

Status invalid(const QString &what, const QString &why)
{
    return Status::failure(
            StatusKind::Address, 0,
            QStringLiteral("\"%1\" is not a valid e-mail address: %2").arg(what, why));
}

// RFC 5322 section 3.2.3 atext.
bool isAtext(QChar c)
{
    if (c.unicode() > 0x7e || c.unicode() <= 0x20)
        return false;
    return c.isLetterOrNumber() || QStringView(u"!#$%&'*+-/=?^_`{|}~").contains(c);
}

bool isDotAtom(QStringView text)
{
    if (text.isEmpty() || text.front() == u'.' || text.back() == u'.' || text.contains(u".."))
        return false;
    for (QChar c : text)
        if (c != u'.' && !isAtext(c))
            return false;
    return true;
}

bool isQuotedLocalPart(QStringView text)
{
    if (text.size() < 2 || text.front() != u'"' || text.back() != u'"')
        return false;
    for (qsizetype i = 1; i + 1 < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        if (c < 0x20 || c > 0x7e)
            return false;
        if (c == u'\\') {
            if (++i + 1 >= text.size())
                return false;
        } else if (c == u'"') {
            return false;
        }
    }
    return true;
}

bool isHostName(QStringView domain)
{
    if (domain.isEmpty() || domain.size() > 253)
        return false;
    for (QStringView label : domain.split(u'.')) {
        if (label.isEmpty() || label.size() > 63 || label.front() == u'-' || label.back() == u'-')
            return false;
        for (QChar c : label)
            if (c.unicode() > 0x7e || !(c.isLetterOrNumber() || c == u'-'))
                return false;
    }
    return true;
}

// Splits at top-level separators; returns false when quotes, brackets or comments are left
// open.
bool splitElements(const QString &text, QStringList &elements)
{
    QString current;
    bool quoted = false;
    bool angle = false;
    bool literal = false;
    int comment = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if ((quoted || comment > 0) && c == u'\\' && i + 1 < text.size()) {
            current += c;
            current += text.at(++i);
            continue;
        }
        if (quoted) {
            quoted = c != u'"';
        } else if (comment > 0) {
            comment += c == u'(' ? 1 : c == u')' ? -1 : 0;
        } else if (literal) {
            // A domain literal's text is plain: quotes, brackets and separators included.
            literal = c != u']';
        } else if (c == u'"') {
            quoted = true;
        } else if (c == u'(') {
            comment = 1;
        } else if (c == u'<') {
            angle = true;
        } else if (c == u'>') {
            angle = false;
        } else if (c == u'[') {
            literal = true;
        } else if ((c == u',' || c == u';') && !angle) {
            elements.append(current);
            current.clear();
            continue;
        }
        current += c;
    }
    elements.append(current);
    return !quoted && !angle && !literal && comment == 0;
}

// One past the "]" that closes the domain literal opening at `from`, or the text's end.
qsizetype literalEnd(const QString &text, qsizetype from)
{
    const qsizetype close = text.indexOf(u']', from);
    return close < 0 ? text.size() : close + 1;
}

} // namespace

Result<QString> AddressList::checkAddress(const QString &address)
{
    if (address.isEmpty())
        return invalid(address, QStringLiteral("it is empty"));
    qsizetype at = -1;
    bool quoted = false;
    for (qsizetype i = 0; i < address.size(); ++i) {
        const QChar c = address.at(i);
        if (quoted && c == u'\\') {
            ++i;
        } else if (c == u'"') {
            quoted = !quoted;
        } else if (c == u'@' && !quoted) {
            at = i;
        }
    }
    if (at <= 0 || at == address.size() - 1)
        return invalid(address, QStringLiteral("it needs a name, an @ and a domain"));
    const QString local = address.left(at);
    QString domain = address.mid(at + 1);
    if (!isAscii(local))
        return invalid(address, QStringLiteral("the part before the @ must use ASCII letters"));
    if (local.size() > maxLocalPartLength || !(isDotAtom(local) || isQuotedLocalPart(local)))
        return invalid(address, QStringLiteral("the part before the @ is not allowed"));
    if (domain.startsWith(u'[') && domain.endsWith(u']')) {
        const QStringView inner = QStringView(domain).mid(1, domain.size() - 2);
        for (QChar c : inner)
            if (c.unicode() < 0x21 || c.unicode() > 0x7e || c == u'[' || c == u']' || c == u'\\')
                return invalid(address, QStringLiteral("the address literal is not allowed"));
    } else {
        if (!isAscii(domain)) {
            domain = QString::fromLatin1(QUrl::toAce(domain, QUrl::AceTransitionalProcessing));
            if (domain.isEmpty())
                return invalid(address, QStringLiteral("the domain is not a valid name"));
        }
        if (!isHostName(domain))
            return invalid(address, QStringLiteral("the domain is not a valid name"));
    }
    const QString normalised = local + u'@' + domain;
    if (normalised.size() > maxAddressLength)
        return invalid(address,
                       QStringLiteral("it is longer than %1 characters").arg(maxAddressLength));
    return {Status::success(), normalised};
}

Result<Mailbox> AddressList::parseMailbox(const QString &element)
{
    QString phrase; // the display name, quoted strings resolved
    QString typed;  // the same text as typed: a bare address, when there are no <>
    QString address;
    QString commentText;
    bool inAngle = false;
    bool angleSeen = false;
    bool afterAngle = false;
    for (qsizetype i = 0; i < element.size(); ++i) {
        const QChar c = element.at(i);
        if (c == u'(' && !inAngle) {
            // A comment: skipped, but kept as a display name for "a@b (Ann)".
            int depth = 1;
            QString inner;
            while (++i < element.size() && depth > 0) {
                QChar d = element.at(i);
                if (d == u'\\' && i + 1 < element.size())
                    d = element.at(++i);
                else if (d == u'(')
                    ++depth;
                else if (d == u')' && --depth == 0)
                    break;
                inner += d;
            }
            commentText = inner.simplified();
            phrase += u' ';
            typed += u' ';
            continue;
        }
        if (afterAngle) {
            if (!c.isSpace())
                return invalid(element, QStringLiteral("text follows the closing >"));
            continue;
        }
        if (inAngle) {
            // A quoted local part or a domain literal may hold ">" as plain text: each is
            // taken whole, escapes included.
            if (c == u'[') {
                const qsizetype end = literalEnd(element, i);
                address += element.mid(i, end - i);
                i = end - 1;
            } else if (c == u'"') {
                address += c;
                while (++i < element.size() && element.at(i) != u'"') {
                    if (element.at(i) == u'\\' && i + 1 < element.size())
                        address += element.at(i++);
                    address += element.at(i);
                }
                if (i < element.size())
                    address += u'"';
            } else if (c == u'>') {
                inAngle = false;
                afterAngle = true;
            } else {
                address += c;
            }
            continue;
        }
        if (c == u'[') {
            // A domain literal may hold "<", "(" or '"' as plain text (RFC 5322 section 3.4.1
            // dtext): taken whole, so that the bare form of an address reads as it was written.
            const qsizetype end = literalEnd(element, i);
            phrase += element.mid(i, end - i);
            typed += element.mid(i, end - i);
            i = end - 1;
            continue;
        }
        if (c == u'<') {
            if (angleSeen)
                return invalid(element, QStringLiteral("it holds more than one <"));
            inAngle = angleSeen = true;
            continue;
        }
        if (c == u'"') {
            // A quoted string. In a display name its quotes go and its escapes are resolved
            // (the encoder quotes again where needed); as the local part of a bare address it
            // must stay as typed, since "a\\b"@x and "a\b"@x are different mailboxes
            // (RFC 5322 section 3.2.4).
            typed += c;
            while (++i < element.size() && element.at(i) != u'"') {
                if (element.at(i) == u'\\' && i + 1 < element.size())
                    typed += element.at(i++);
                typed += element.at(i);
                phrase += element.at(i);
            }
            typed += u'"';
            continue;
        }
        phrase += c;
        typed += c;
    }

    Mailbox mailbox;
    if (angleSeen) {
        address = address.trimmed();
        mailbox.displayName = phrase.simplified();
    } else {
        address = typed.trimmed();
        if (address.startsWith(u'"') && !address.contains(u'@'))
            return invalid(element, QStringLiteral("it is a name without an address"));
        mailbox.displayName = commentText;
    }
    if (mailbox.displayName.size() > maxDisplayNameLength)
        return invalid(element, QStringLiteral("the name is too long"));
    Result<QString> checked = checkAddress(address);
    if (!checked.ok())
        return checked.status;
    mailbox.address = checked.value;
    return {Status::success(), mailbox};
}

Result<MailboxList> AddressList::parse(const QString &text)
{
    if (Status s = checkHeaderText(text, QStringLiteral("address")); !s.ok())
        return s;
    QStringList elements;
    if (!splitElements(text, elements))
        return invalid(text, QStringLiteral("a quote, bracket or parenthesis is not closed"));
    MailboxList result;
    for (const QString &element : elements) {
        if (element.trimmed().isEmpty())
            continue;
        Result<Mailbox> mailbox = parseMailbox(element.trimmed());
        if (!mailbox.ok())
            return mailbox.status;
        result.append(mailbox.value);
    }
    if (result.isEmpty())
        return invalid(text, QStringLiteral("it holds no address"));
    return {Status::success(), result};
}

Result<MailboxList> AddressList::parseUtf8(const QByteArray &text)
{
    Result<QString> decoded = decodeUtf8Strict(text);
    if (!decoded.ok())
        return decoded.status;
    return parse(decoded.value);
}

} // namespace orvane::mail
