// Fuzz target: the header encoder. Whatever the text, the header it writes holds only
// printable ASCII, keeps its lines short (78, never 998), and carries the text unchanged;
// bytes that are not UTF-8 are refused before they reach it.
#include "FuzzCheck.h"
#include "HeaderInput.h"
#include "mail/TextChecks.h"

#include <QList>

#include <cstddef>
#include <cstdint>

using namespace orvane;
using fuzz::require;

namespace {

constexpr qsizetype maxInput = 4096;

// A line over 78 characters is only acceptable when it holds a word that would not fit on a
// line of its own either.
bool foldedWhereItCould(const QByteArray &line)
{
    if (line.size() <= mail::HeaderEncoder::foldColumn)
        return true;
    for (const QByteArray &word : line.split(' '))
        if (word.size() + 1 > mail::HeaderEncoder::foldColumn)
            return true;
    return false;
}

void checkLines(const QByteArray &header)
{
    require(header.endsWith("\r\n"), "a header ends with CRLF", header);
    const QList<QByteArray> lines = header.chopped(2).split('\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        QByteArray line = lines.at(i);
        if (i + 1 < lines.size()) {
            require(line.endsWith('\r'), "lines end in CRLF, no bare LF", header);
            line.chop(1);
        }
        for (const char c : line)
            require(c >= 0x20 && c <= 0x7e, "header lines hold only printable ASCII", header);
        require(line.size() <= mail::HeaderEncoder::maxLineLength, "no line over 998", header);
        require(foldedWhereItCould(line), "no line over 78 unless unavoidable", header);
    }
}

// Reads back "=?utf-8?B?...?=" words joined by folding white space (RFC 2047 section 6.2).
QByteArray decodeEncodedWords(const QByteArray &value)
{
    QByteArray out;
    for (const QByteArray &word : value.simplified().split(' ')) {
        require(word.startsWith("=?utf-8?B?") && word.endsWith("?=") && word.size() <= 75,
                "encoded words are well formed and at most 75 characters", value);
        const auto decoded = QByteArray::fromBase64Encoding(
                word.mid(10, word.size() - 12), QByteArray::AbortOnBase64DecodingErrors);
        require(bool(decoded), "encoded words hold valid base64", value);
        out += *decoded;
    }
    return out;
}

void checkSubjectText(const QByteArray &header, const QString &text)
{
    // Unfolding (removing each CRLF) gives "Subject: " and the value.
    QByteArray value = header.chopped(2).replace("\r\n", "");
    require(value.startsWith("Subject: "), "unfolds to one field", header);
    value = value.mid(9);
    if (value.startsWith("=?")) // plain text never starts so: it would be encoded
        require(decodeEncodedWords(value) == text.toUtf8(), "encoded subject reads back", header);
    else
        require(value == text.toUtf8(), "plain subject reads back after unfolding", header);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > std::size_t(maxInput))
        return 0;
    const fuzz::HeaderInput input = fuzz::splitHeaderInput(
            QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)));

    const form::Result<QString> decoded = mail::decodeUtf8Strict(input.value);
    const bool valid = fuzz::isValidUtf8(input.value);
    require(decoded.status.ok() == valid, "invalid UTF-8 is refused, valid UTF-8 accepted",
            input.value.toHex());
    if (!valid)
        return 0;
    require(decoded.value.toUtf8() == input.value, "decoding keeps every character",
            input.value.toHex());

    // Encoded even when the checks would refuse it: control characters must still never
    // reach the wire raw.
    const QByteArray header = fuzz::encodeHeader(input.kind, decoded.value);
    checkLines(header);
    if (input.kind == fuzz::HeaderKind::Subject)
        checkSubjectText(header, decoded.value);
    if (input.kind == fuzz::HeaderKind::EncodedWords)
        require(decodeEncodedWords(header.mid(10).chopped(2)) == input.value,
                "encoded words read back", header);
    return 0;
}
