#include "MimeStream.h"

#include <QFileInfo>

#include <cstring>

namespace orvane::mail {

using form::Status;
using form::StatusKind;

namespace {

constexpr char base64Alphabet[]
        = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// RFC 2045 section 6.8: base64 in lines of 76 characters (57 bytes of input), each ended by
// CRLF, the last one shorter where the input ends. One pass, straight into the block (which
// holds base64Size(size) bytes): encoding then splitting into lines cost a second copy, and
// the encoding is most of the work of sending a large attachment.
void encodeLines(const unsigned char *in, qint64 size, char *out)
{
    while (size > 0) {
        const qint64 line = std::min<qint64>(57, size);
        qint64 i = 0;
        for (; i + 3 <= line; i += 3) {
            const unsigned v = unsigned(in[i]) << 16 | unsigned(in[i + 1]) << 8 | in[i + 2];
            *out++ = base64Alphabet[v >> 18];
            *out++ = base64Alphabet[(v >> 12) & 63];
            *out++ = base64Alphabet[(v >> 6) & 63];
            *out++ = base64Alphabet[v & 63];
        }
        if (i < line) {
            // One or two bytes left, at the very end of the input: padded with '='.
            const bool two = i + 1 < line;
            const unsigned v = unsigned(in[i]) << 16 | (two ? unsigned(in[i + 1]) << 8 : 0u);
            *out++ = base64Alphabet[v >> 18];
            *out++ = base64Alphabet[(v >> 12) & 63];
            *out++ = two ? base64Alphabet[(v >> 6) & 63] : '=';
            *out++ = '=';
        }
        *out++ = '\r';
        *out++ = '\n';
        in += line;
        size -= line;
    }
}

} // namespace

void MimeStream::appendBytes(const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return;
    m_segments.push_back({bytes, QString(), -1, nullptr});
    m_size += bytes.size();
}

void MimeStream::appendFileBase64(const QString &path, qint64 fileSize)
{
    m_segments.push_back({QByteArray(), path, fileSize, nullptr});
    m_size += base64Size(fileSize);
}

qint64 MimeStream::base64Size(qint64 bytes)
{
    const qint64 chars = (bytes + 2) / 3 * 4;
    const qint64 lines = (chars + 75) / 76;
    return chars + 2 * lines;
}

Status MimeStream::fileFailure(const Segment &segment, const QString &why) const
{
    return Status::failure(
            StatusKind::Attachment, 0,
            QStringLiteral("The attachment \"%1\" could not be read: %2").arg(segment.path, why));
}

Status MimeStream::open()
{
    for (Segment &segment : m_segments) {
        if (segment.fileSize < 0)
            continue;
        const QFileInfo info(segment.path);
        if (!info.isFile())
            return m_status = fileFailure(segment, QStringLiteral("it is no longer there."));
        auto file = std::make_shared<QFile>(segment.path);
        if (!file->open(QIODevice::ReadOnly))
            return m_status = fileFailure(segment, file->errorString());
        if (file->size() != segment.fileSize)
            return m_status = fileFailure(segment, QStringLiteral("it changed while the "
                                                                  "message was prepared."));
        segment.file = std::move(file);
    }
    m_current = 0;
    m_offset = 0;
    m_fileRead = 0;
    m_block.clear();
    return m_status = Status::success();
}

bool MimeStream::refill(Segment &segment)
{
    // Both buffers keep their memory from block to block (resize never shrinks it).
    m_block.resize(0);
    m_offset = 0;
    if (!segment.file)
        return (m_status = fileFailure(segment, QStringLiteral("it was not opened."))), false;
    const qint64 wanted = std::min(blockBytes, segment.fileSize - m_fileRead);
    m_raw.resize(wanted);
    QByteArray &raw = m_raw;
    qint64 got = 0;
    while (got < wanted) {
        const qint64 n = segment.file->read(raw.data() + got, wanted - got);
        if (n < 0)
            return (m_status = fileFailure(segment, segment.file->errorString())), false;
        if (n == 0)
            return (m_status = fileFailure(segment, QStringLiteral("it became shorter while "
                                                                   "it was being sent."))),
                   false;
        got += n;
    }
    m_fileRead += got;
    if (m_fileRead == segment.fileSize) {
        char extra = 0;
        if (segment.file->read(&extra, 1) > 0)
            return (m_status = fileFailure(segment, QStringLiteral("it grew while it was "
                                                                   "being sent."))),
                   false;
    }
    // Every block but the last is a whole number of lines, so the lines run on across blocks.
    m_block.resize(base64Size(got));
    encodeLines(reinterpret_cast<const unsigned char *>(raw.constData()), got, m_block.data());
    return true;
}

qint64 MimeStream::read(char *out, qint64 max)
{
    if (!m_status.ok())
        return -1;
    qint64 written = 0;
    while (written < max && m_current < m_segments.size()) {
        Segment &segment = m_segments[m_current];
        const bool isFile = segment.fileSize >= 0;
        if (isFile && m_offset == m_block.size()) {
            if (m_fileRead == segment.fileSize) {
                ++m_current;
                m_offset = 0;
                m_fileRead = 0;
                m_block.clear();
                segment.file.reset();
                continue;
            }
            if (!refill(segment))
                return -1;
        }
        const QByteArray &source = isFile ? m_block : segment.bytes;
        const qint64 n = std::min<qint64>(max - written, source.size() - m_offset);
        std::memcpy(out + written, source.constData() + m_offset, std::size_t(n));
        written += n;
        m_offset += n;
        if (!isFile && m_offset == source.size()) {
            ++m_current;
            m_offset = 0;
        }
    }
    return written;
}

QByteArray MimeStream::readAll()
{
    QByteArray all;
    QByteArray chunk(qsizetype(64) * 1024, Qt::Uninitialized);
    for (;;) {
        const qint64 n = read(chunk.data(), chunk.size());
        if (n <= 0)
            break;
        all.append(chunk.constData(), n);
    }
    return all;
}

} // namespace orvane::mail
