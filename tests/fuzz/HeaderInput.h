#pragma once

#include "mail/HeaderEncoder.h"

#include <QByteArray>
#include <QString>

namespace orvane::fuzz {

// How the header encoder's fuzz target (and the corpus replay test) read one input: the first
// byte picks the kind of header, the rest is the value as UTF-8.
enum class HeaderKind { Subject, DisplayName, FileName, EncodedWords };

struct HeaderInput
{
    HeaderKind kind = HeaderKind::Subject;
    QByteArray value;
};

inline HeaderInput splitHeaderInput(const QByteArray &data)
{
    if (data.isEmpty())
        return {};
    return {HeaderKind(static_cast<unsigned char>(data.at(0)) % 4), data.mid(1)};
}

inline constexpr const char *fuzzMailAddress = "ann@example.com";

// The header lines the kind produces, each ending in CRLF.
inline QByteArray encodeHeader(HeaderKind kind, const QString &text)
{
    using mail::HeaderEncoder;
    switch (kind) {
    case HeaderKind::Subject:
        return HeaderEncoder::unstructuredField("Subject", text);
    case HeaderKind::DisplayName:
        return HeaderEncoder::mailboxField("To", {{text, QString::fromLatin1(fuzzMailAddress)}});
    case HeaderKind::FileName:
        return "Content-Type: application/octet-stream" + HeaderEncoder::nameParameter(text)
               + "\r\nContent-Disposition: attachment" + HeaderEncoder::filenameParameter(text)
               + "\r\n";
    case HeaderKind::EncodedWords:
        return "Comments: " + HeaderEncoder::encodedWords(text, 10) + "\r\n";
    }
    return {};
}

} // namespace orvane::fuzz
