#pragma once

#include "form/Status.h"
#include "mail/Mailbox.h"
#include "mail/MimeStream.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <functional>

namespace orvane::mail {

// A file to send along, already checked on disk.
struct AttachmentFile
{
    QString path;
    QString fileName;    // without directory
    QByteArray mimeType; // e.g. "application/pdf"
    qint64 size = 0;
};

struct MessageParts
{
    Mailbox from;
    MailboxList to;
    QString subject;
    QString body;
    QList<AttachmentFile> attachments;
    QDateTime date;
};

// Builds the RFC 5322 / MIME message: the headers, a text/plain UTF-8 body with CRLF line
// endings, and with attachments a multipart/mixed body carrying each file in base64.
class MessageComposer
{
public:
    using BoundaryGenerator = std::function<QByteArray()>;

    explicit MessageComposer(BoundaryGenerator boundaries = randomBoundary);

    form::Result<MimeStream> compose(const MessageParts &parts) const;

    // Every line ending (CRLF, CR alone, LF alone) becomes CRLF; the text becomes UTF-8.
    static QByteArray normaliseLineEndings(const QString &text);
    // RFC 2045 section 6.7; the input has CRLF line endings, hard breaks stay CRLF.
    static QByteArray quotedPrintable(const QByteArray &crlfText);
    // RFC 5322 section 3.3, e.g. "Mon, 07 Dec 2026 06:24:07 +0100".
    static QByteArray rfc5322Date(const QDateTime &when);
    static QByteArray messageId(const QString &senderAddress);
    // "=_orvane_" and 32 random hex digits. "=_" can appear neither in base64 nor in
    // quoted-printable text (RFC 2045 section 5.1 recommends this).
    static QByteArray randomBoundary();

private:
    BoundaryGenerator m_boundaries;
};

} // namespace orvane::mail
