#include "HeaderEncoder.h"

#include <algorithm>

namespace orvane::mail {

namespace {

constexpr int encodedWordBytes = 45;    // 60 base64 characters inside "=?utf-8?B?...?="
constexpr int encodedWordOverhead = 12; // "=?utf-8?B?" and "?="
// Where a display name may start: after a field name such as "Reply-To: ". Names are kept
// short enough to fit there.
constexpr int nameColumn = 10;

bool isPrintableAscii(QStringView text)
{
    for (QChar c : text)
        if (c.unicode() < 0x20 || c.unicode() > 0x7e)
            return false;
    return true;
}

bool isAtom(QStringView word)
{
    if (word.isEmpty())
        return false;
    for (QChar c : word)
        if (!(c.isLetterOrNumber() && c.unicode() < 0x80)
            && !QStringView(u"!#$%&'*+-/=?^_`{|}~").contains(c))
            return false;
    return true;
}

int lastLineLength(const QByteArray &text)
{
    const qsizetype newline = text.lastIndexOf('\n');
    return int(newline < 0 ? text.size() : text.size() - newline - 1);
}

// Length in bytes of the UTF-8 form of one code point starting at text[i], and how many UTF-16
// units it takes.
int utf8Length(QStringView text, qsizetype i, int &units)
{
    const char16_t c = text.at(i).unicode();
    units = 1;
    if (c < 0x80)
        return 1;
    if (c < 0x800)
        return 2;
    if (QChar::isHighSurrogate(c) && i + 1 < text.size()
        && QChar::isLowSurrogate(text.at(i + 1).unicode())) {
        units = 2;
        return 4;
    }
    return 3;
}

} // namespace

QByteArray HeaderEncoder::encodedWords(const QString &text, int column)
{
    // The first word shares its line with what comes before it (a field name, "name=\""):
    // it gets fewer bytes, so that line stays within the fold column too, with one character
    // to spare for a closing quote.
    const int firstRoom = (foldColumn - column - encodedWordOverhead - 1) / 4 * 3;
    int limit = std::clamp(firstRoom, 4, encodedWordBytes);
    QList<QByteArray> words;
    qsizetype start = 0;
    int bytes = 0;
    for (qsizetype i = 0; i < text.size();) {
        int units = 1;
        const int length = utf8Length(text, i, units);
        if (bytes + length > limit) {
            words.append(text.mid(start, i - start).toUtf8());
            start = i;
            bytes = 0;
            limit = encodedWordBytes;
        }
        bytes += length;
        i += units;
    }
    words.append(text.mid(start).toUtf8());
    QByteArray out;
    for (const QByteArray &word : words) {
        if (!out.isEmpty())
            out += "\r\n ";
        out += "=?utf-8?B?" + word.toBase64() + "?=";
    }
    return out;
}

QByteArray HeaderEncoder::fold(const QList<QByteArray> &pieces, const QByteArray &sep, int column)
{
    QByteArray out;
    int lineLength = column;
    for (qsizetype i = 0; i < pieces.size(); ++i) {
        const QByteArray &piece = pieces.at(i);
        const qsizetype firstLine = piece.indexOf('\r') < 0 ? piece.size() : piece.indexOf('\r');
        if (i > 0) {
            const QByteArray trimmedSep = sep.trimmed();
            if (lineLength + sep.size() + firstLine > foldColumn) {
                out += trimmedSep + "\r\n ";
                lineLength = 1;
            } else {
                out += sep;
                lineLength += int(sep.size());
            }
        }
        out += piece;
        lineLength = piece.contains('\n') ? lastLineLength(piece) : lineLength + int(piece.size());
    }
    return out;
}

QByteArray HeaderEncoder::unstructuredField(const char *name, const QString &text)
{
    const QByteArray head = QByteArray(name) + ": ";
    // Plain text stays readable; anything a reader could misread (non-ASCII, controls, very
    // long words, something that looks like an encoded word) goes out as encoded words.
    const QStringList words = text.split(u' ');
    bool plain = isPrintableAscii(text) && !text.contains(QStringLiteral("=?"));
    // Runs of spaces and spaces at either end would be lost or moved by folding and by
    // readers that strip the value: encoded words keep them exactly.
    plain = plain && !text.contains(QStringLiteral("  ")) && !text.startsWith(u' ')
            && !text.endsWith(u' ');
    for (const QString &word : words)
        plain = plain && word.size() <= maxLineLength - 100;
    if (!plain)
        return head + encodedWords(text, int(head.size())) + "\r\n";

    // Fold before a space, so that unfolding (removing the CRLF) gives the text back.
    QByteArray out = head;
    int lineLength = int(head.size());
    for (qsizetype i = 0; i < words.size(); ++i) {
        const QByteArray word = words.at(i).toLatin1();
        if (i == 0 && lineLength + word.size() > foldColumn && word.size() < foldColumn) {
            // A first word that does not fit beside the field name goes on the next line;
            // unfolding gives the same "Name: text" back.
            out.chop(1);
            out += "\r\n ";
            lineLength = 1;
        }
        if (i > 0) {
            if (lineLength + 1 + word.size() > foldColumn && lineLength > 1) {
                out += "\r\n";
                lineLength = 0;
            }
            out += ' ';
            ++lineLength;
        }
        out += word;
        lineLength += int(word.size());
    }
    return out + "\r\n";
}

QByteArray HeaderEncoder::phrase(const QString &text)
{
    const QString simple = text.simplified();
    if (simple.isEmpty())
        return {};
    // Text that looks like an encoded word is encoded too: many readers decode encoded words
    // even inside quotes.
    if (!isPrintableAscii(simple) || simple.contains(QStringLiteral("=?")))
        return encodedWords(simple, nameColumn);
    bool atoms = true;
    for (QStringView word : QStringView(simple).split(u' '))
        atoms = atoms && isAtom(word);
    const QByteArray plain = atoms ? simple.toLatin1() : quotedString(simple);
    // A name too long for one line goes as encoded words, which fold between words.
    if (nameColumn + plain.size() > foldColumn)
        return encodedWords(simple, nameColumn);
    return plain;
}

QByteArray HeaderEncoder::mailbox(const Mailbox &mailbox)
{
    QByteArray address = mailbox.address.toLatin1();
    const QByteArray name = phrase(mailbox.displayName);
    if (name.isEmpty())
        return address;
    // Folding white space may stand before the "<" (RFC 5322 section 3.4): the address goes
    // on a line of its own rather than past the fold column.
    const bool fits = lastLineLength(name) + 2 + address.size() + 1 <= foldColumn - nameColumn;
    return name + (fits ? " <" : "\r\n <") + address + '>';
}

QByteArray HeaderEncoder::mailboxField(const char *name, const MailboxList &mailboxes)
{
    const QByteArray head = QByteArray(name) + ": ";
    QList<QByteArray> pieces;
    for (const Mailbox &box : mailboxes)
        pieces.append(mailbox(box));
    return head + fold(pieces, ", ", int(head.size())) + "\r\n";
}

QByteArray HeaderEncoder::quotedString(const QString &text)
{
    QByteArray quoted = "\"";
    for (QChar c : text) {
        if (c == u'"' || c == u'\\')
            quoted += '\\';
        quoted += char(c.unicode());
    }
    return quoted + '"';
}

QByteArray HeaderEncoder::nameParameter(const QString &fileName)
{
    if (isPlainFileName(fileName))
        return ";\r\n name=" + quotedString(fileName);
    // RFC 2047 section 5 forbids encoded words in quoted strings, but that is where common
    // readers look for the name of a part; it is the widely used fallback beside RFC 2231.
    return ";\r\n name=\"" + encodedWords(fileName, 7) + '"'; // after ' name="'
}

bool HeaderEncoder::isPlainFileName(const QString &fileName)
{
    // Quoted, on a line of its own after " filename=", within the fold column.
    return isPrintableAscii(fileName) && !fileName.contains(QStringLiteral("=?"))
           && quotedString(fileName).size() <= 60;
}

QByteArray HeaderEncoder::filenameParameter(const QString &fileName)
{
    if (isPlainFileName(fileName))
        return ";\r\n filename=" + quotedString(fileName);
    // RFC 2231 sections 3 and 4: charset, percent-encoded octets, split into numbered sections.
    const QByteArray encoded = fileName.toUtf8().toPercentEncoding("!#$&+-.^_`|~");
    QList<QByteArray> sections;
    for (qsizetype pos = 0; pos < encoded.size();) {
        qsizetype length = std::min<qsizetype>(48, encoded.size() - pos);
        // Never cut a %XX triplet.
        if (pos + length < encoded.size()) {
            if (encoded.at(pos + length - 1) == '%')
                length -= 1;
            else if (length >= 2 && encoded.at(pos + length - 2) == '%')
                length -= 2;
        }
        sections.append(encoded.mid(pos, length));
        pos += length;
    }
    if (sections.size() == 1)
        return ";\r\n filename*=utf-8''" + sections.first();
    QByteArray out;
    for (qsizetype i = 0; i < sections.size(); ++i)
        out += ";\r\n filename*" + QByteArray::number(i) + "*=" + (i == 0 ? "utf-8''" : "")
               + sections.at(i);
    return out;
}

} // namespace orvane::mail
