#include "MessageComposer.h"

#include "mail/HeaderEncoder.h"
#include "mail/TextChecks.h"

#include <QLocale>
#include <QRandomGenerator>

namespace orvane::mail {

using form::Result;
using form::Status;
using form::StatusKind;

namespace {

QByteArray randomHex(int bytes)
{
    QByteArray raw(bytes, Qt::Uninitialized);
    QRandomGenerator::system()->generate(raw.begin(), raw.end());
    return raw.toHex();
}

bool fitsSevenBit(const QByteArray &crlfText)
{
    qsizetype lineStart = 0;
    for (qsizetype i = 0; i < crlfText.size(); ++i) {
        const auto c = static_cast<unsigned char>(crlfText.at(i));
        if (c == 0 || c >= 0x80)
            return false;
        if (c == '\n')
            lineStart = i + 1;
        else if (i - lineStart >= HeaderEncoder::maxLineLength)
            return false; // RFC 5322 section 2.1.1
    }
    return true;
}

// A text/plain UTF-8 body, in 7bit where it fits and quoted-printable where not.
struct TextPart
{
    QByteArray headers;
    QByteArray body;
};

TextPart textPart(const QString &text)
{
    QByteArray body = MessageComposer::normaliseLineEndings(text);
    QByteArray encoding = "7bit";
    if (!fitsSevenBit(body)) {
        body = MessageComposer::quotedPrintable(body);
        encoding = "quoted-printable";
    }
    const QByteArray headers = "Content-Type: text/plain; charset=utf-8\r\n"
                               "Content-Transfer-Encoding: "
                               + encoding + "\r\n";
    return {headers, body};
}

QByteArray messageHeaders(const MessageParts &parts)
{
    QByteArray head;
    head += "Date: "
            + MessageComposer::rfc5322Date(parts.date.isValid() ? parts.date
                                                                : QDateTime::currentDateTime())
            + "\r\n";
    head += HeaderEncoder::mailboxField("From", {parts.from});
    head += HeaderEncoder::mailboxField("To", parts.to);
    head += HeaderEncoder::unstructuredField("Subject", parts.subject);
    head += "Message-ID: " + MessageComposer::messageId(parts.from.address) + "\r\n";
    head += "MIME-Version: 1.0\r\n";
    return head;
}

// RFC 2046 section 5.1.1: the boundary must not occur in any part. Base64 and
// quoted-printable cannot produce it; a 7bit body could, however unlikely, so check. Empty
// when none of the tries was free.
QByteArray boundaryNotIn(const QByteArray &body,
                         const MessageComposer::BoundaryGenerator &boundaries)
{
    QByteArray boundary;
    for (int attempt = 0; attempt < 100; ++attempt) {
        boundary = boundaries();
        if (!boundary.isEmpty() && !body.contains("--" + boundary))
            break;
        boundary.clear();
    }
    return boundary;
}

// Each file's part headers go out with the text before them; the file itself is read as the
// stream is sent.
void appendAttachments(MimeStream &stream, QByteArray head, const QList<AttachmentFile> &files,
                       const QByteArray &boundary)
{
    for (const AttachmentFile &file : files) {
        head += "--" + boundary + "\r\n";
        head += "Content-Type: " + file.mimeType + HeaderEncoder::nameParameter(file.fileName)
                + "\r\n";
        head += "Content-Transfer-Encoding: base64\r\n";
        head += "Content-Disposition: attachment" + HeaderEncoder::filenameParameter(file.fileName)
                + "\r\n\r\n";
        stream.appendBytes(head);
        stream.appendFileBase64(file.path, file.size);
        head.clear();
    }
    stream.appendBytes("--" + boundary + "--\r\n");
}

} // namespace

MessageComposer::MessageComposer(BoundaryGenerator boundaries)
    : m_boundaries(std::move(boundaries))
{}

QByteArray MessageComposer::randomBoundary()
{
    return "=_orvane_" + randomHex(16);
}

QByteArray MessageComposer::normaliseLineEndings(const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    QByteArray out;
    out.reserve(utf8.size() + utf8.size() / 16);
    for (qsizetype i = 0; i < utf8.size(); ++i) {
        const char c = utf8.at(i);
        if (c == '\r') {
            out += "\r\n";
            if (i + 1 < utf8.size() && utf8.at(i + 1) == '\n')
                ++i;
        } else if (c == '\n') {
            out += "\r\n";
        } else {
            out += c;
        }
    }
    return out;
}

QByteArray MessageComposer::quotedPrintable(const QByteArray &crlfText)
{
    static const char hex[] = "0123456789ABCDEF";
    QByteArray out;
    out.reserve(crlfText.size() * 3 / 2);
    const QList<QByteArray> lines = crlfText.split('\n');
    for (qsizetype l = 0; l < lines.size(); ++l) {
        QByteArray line = lines.at(l);
        if (l + 1 < lines.size())
            line.chop(1); // the CR of the CRLF
        int column = 0;
        for (qsizetype i = 0; i < line.size(); ++i) {
            const auto c = static_cast<unsigned char>(line.at(i));
            const bool last = i + 1 == line.size();
            const bool literal
                    = (c >= 33 && c <= 126 && c != '=') || ((c == ' ' || c == '\t') && !last);
            QByteArray token;
            if (literal)
                token = QByteArray(1, char(c));
            else
                token = QByteArray("=") + hex[c >> 4] + hex[c & 15];
            if (column + token.size() > 75) { // leave room for the soft break's "="
                out += "=\r\n";
                column = 0;
            }
            out += token;
            column += int(token.size());
        }
        if (l + 1 < lines.size())
            out += "\r\n";
    }
    return out;
}

QByteArray MessageComposer::rfc5322Date(const QDateTime &when)
{
    const QLocale c = QLocale::c();
    const int offset = when.offsetFromUtc() / 60;
    const int absolute = offset < 0 ? -offset : offset;
    return (c.toString(when, QStringLiteral("ddd, dd MMM yyyy HH:mm:ss "))
            + (offset < 0 ? u'-' : u'+')
            + QStringLiteral("%1%2")
                      .arg(absolute / 60, 2, 10, QLatin1Char('0'))
                      .arg(absolute % 60, 2, 10, QLatin1Char('0')))
            .toLatin1();
}

QByteArray MessageComposer::messageId(const QString &senderAddress)
{
    // RFC 5322 section 3.6.4: unique left part, the sender's domain on the right.
    QString domain = senderAddress.mid(senderAddress.lastIndexOf(u'@') + 1);
    if (domain.isEmpty())
        domain = QStringLiteral("localhost");
    return '<' + randomHex(16) + '@' + domain.toLatin1() + '>';
}

Result<MimeStream> MessageComposer::compose(const MessageParts &parts) const
{
    if (Status s = checkHeaderText(parts.subject, QStringLiteral("subject")); !s.ok())
        return s;

    QByteArray head = messageHeaders(parts);
    const TextPart text = textPart(parts.body);
    MimeStream stream;
    if (parts.attachments.isEmpty()) {
        stream.appendBytes(head + text.headers + "\r\n" + text.body);
        return {Status::success(), std::move(stream)};
    }

    const QByteArray boundary = boundaryNotIn(text.body, m_boundaries);
    if (boundary.isEmpty())
        return Status::failure(StatusKind::Internal, 0,
                               QStringLiteral("No MIME boundary could be found that does "
                                              "not occur in the message text."));

    head += "Content-Type: multipart/mixed;\r\n boundary=\"" + boundary + "\"\r\n\r\n";
    head += "This is a multi-part message in MIME format.\r\n";
    head += "--" + boundary + "\r\n" + text.headers + "\r\n" + text.body;
    // This CRLF and the one ending each base64 part belong to the delimiters that follow
    // (RFC 2046 section 5.1.1), so every part keeps exactly its own content.
    head += "\r\n";
    appendAttachments(stream, std::move(head), parts.attachments, boundary);
    return {Status::success(), std::move(stream)};
}

} // namespace orvane::mail
