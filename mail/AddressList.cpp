#include "AddressList.h"

#include "mail/AddressLexer.h"
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

using Token = AddressLexer::Token;
using Type = AddressLexer::Type;
using Mode = AddressLexer::Mode;

// Splits at top-level separators; returns false when quotes, brackets or comments are left
// open.
bool splitElements(const QString &text, QStringList &elements)
{
    AddressLexer lexer(text);
    bool angle = false;
    bool closed = true;
    qsizetype elementStart = 0;
    for (Token t = lexer.next(); t.type != Type::End; t = lexer.next()) {
        closed = closed && t.closed;
        if (t.type == Type::LeftAngle) {
            angle = true;
        } else if (t.type == Type::RightAngle) {
            angle = false;
        } else if (t.type == Type::Separator && !angle) {
            elements.append(text.mid(elementStart, t.start - elementStart));
            elementStart = t.start + 1;
        }
    }
    elements.append(text.mid(elementStart));
    return closed && !angle;
}

// The last @ outside quoted strings, or -1.
qsizetype lastAt(const QString &address)
{
    AddressLexer lexer(address);
    qsizetype at = -1;
    for (Token t = lexer.next(Mode::QuotesOnly); t.type != Type::End;
         t = lexer.next(Mode::QuotesOnly)) {
        if (t.type == Type::Text && t.raw.contains(u'@'))
            at = t.start + t.raw.lastIndexOf(u'@');
    }
    return at;
}

bool isBlank(QStringView text)
{
    for (QChar c : text)
        if (!c.isSpace())
            return false;
    return true;
}

// One mailbox as read so far.
struct MailboxText
{
    QString phrase;  // the display name, quoted strings resolved
    QString typed;   // the same text as typed: a bare address, when there are no <>
    QString address; // between < and >
    QString commentText;
    bool inAngle = false;
    bool angleSeen = false;
    bool afterAngle = false;
};

// A piece before the <, or of a bare address.
void readOutsideAngle(const Token &t, MailboxText &m)
{
    if (t.type == Type::QuotedString) {
        // In a display name its quotes go and its escapes are resolved (the encoder quotes
        // again where needed); as the local part of a bare address it must stay as typed,
        // since "a\\b"@x and "a\b"@x are different mailboxes (RFC 5322 section 3.2.4).
        m.typed += u'"';
        m.typed += AddressLexer::quotedInner(t);
        m.typed += u'"';
        m.phrase += t.content;
    } else {
        // A domain literal may hold "<", "(" or '"' as plain text (RFC 5322 section 3.4.1
        // dtext): taken whole, so that the bare form of an address reads as it was written.
        m.phrase += t.raw;
        m.typed += t.raw;
    }
}

Status readMailbox(const QString &element, MailboxText &m)
{
    AddressLexer lexer(element);
    auto mode = [&] { return m.inAngle ? Mode::AngleAddr : Mode::Mailbox; };
    for (Token t = lexer.next(mode()); t.type != Type::End; t = lexer.next(mode())) {
        if (t.type == Type::Comment) {
            // A comment: skipped, but kept as a display name for "a@b (Ann)".
            m.commentText = t.content.simplified();
            m.phrase += u' ';
            m.typed += u' ';
        } else if (m.afterAngle) {
            if (t.type != Type::Text || !isBlank(t.raw))
                return invalid(element, QStringLiteral("text follows the closing >"));
        } else if (m.inAngle) {
            // A quoted local part or a domain literal may hold ">" as plain text: each is
            // taken whole, escapes included.
            if (t.type == Type::RightAngle) {
                m.inAngle = false;
                m.afterAngle = true;
            } else {
                m.address += t.raw;
            }
        } else if (t.type == Type::LeftAngle) {
            if (m.angleSeen)
                return invalid(element, QStringLiteral("it holds more than one <"));
            m.inAngle = m.angleSeen = true;
        } else {
            readOutsideAngle(t, m);
        }
    }
    return Status::success();
}

} // namespace

Result<QString> AddressList::checkAddress(const QString &address)
{
    if (address.isEmpty())
        return invalid(address, QStringLiteral("it is empty"));
    const qsizetype at = lastAt(address);
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
    MailboxText read;
    if (Status s = readMailbox(element, read); !s.ok())
        return s;
    Mailbox mailbox;
    QString address;
    if (read.angleSeen) {
        address = read.address.trimmed();
        mailbox.displayName = read.phrase.simplified();
    } else {
        address = read.typed.trimmed();
        if (address.startsWith(u'"') && !address.contains(u'@'))
            return invalid(element, QStringLiteral("it is a name without an address"));
        mailbox.displayName = read.commentText;
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
