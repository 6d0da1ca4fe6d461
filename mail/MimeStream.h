#pragma once

#include "form/Status.h"

#include <QByteArray>
#include <QFile>
#include <QString>

#include <memory>
#include <vector>

namespace orvane::mail {

// The finished message as a sequence of fixed texts and files that are base64-encoded while
// they are read. Its size is known before the first byte is read (so it can be announced with
// SIZE), and memory stays at one block whatever the files' sizes.
class MimeStream
{
public:
    // Input block: a multiple of 57 bytes, so that every block ends on a whole 76-character
    // base64 line (RFC 2045 section 6.8).
    static constexpr qint64 blockBytes = qint64(57) * 4096;

    void appendBytes(const QByteArray &bytes);
    // The file is expected to hold exactly fileSize bytes when it is read.
    void appendFileBase64(const QString &path, qint64 fileSize);

    qint64 size() const { return m_size; }

    // Opens every file and checks its size, before anything goes on the wire.
    form::Status open();

    // Copies up to max bytes; returns 0 at the end and -1 on failure (see status()).
    qint64 read(char *out, qint64 max);
    const form::Status &status() const { return m_status; }

    // Everything, for tests and small messages.
    QByteArray readAll();

    // Bytes of base64 with a CRLF after every 76 characters (and after the last line).
    static qint64 base64Size(qint64 bytes);

private:
    struct Segment
    {
        QByteArray bytes;
        QString path;
        qint64 fileSize = -1; // -1: a text segment
        std::shared_ptr<QFile> file;
    };

    bool refill(Segment &segment);
    form::Status fileFailure(const Segment &segment, const QString &why) const;

    std::vector<Segment> m_segments;
    qint64 m_size = 0;
    std::size_t m_current = 0;
    qint64 m_fileRead = 0;  // bytes of the current file read so far
    QByteArray m_block;     // encoded output of the current file block
    QByteArray m_raw;       // the current file block as read
    qsizetype m_offset = 0; // in m_block, or in the current text segment
    form::Status m_status;
};

} // namespace orvane::mail
