#pragma once

#include <QByteArray>
#include <QString>

#include <concepts>
#include <cstdio>
#include <cstdlib>

namespace orvane::fuzz {

// A property the fuzz targets hold the production code to. A violation is reported like a
// crash (abort), so libFuzzer keeps the input and scripts/fuzz fails.
inline void require(bool holds, const char *property, const QByteArray &detail = {})
{
    if (holds)
        return;
    std::fprintf(stderr, "property violated: %s\n%s\n", property, detail.constData());
    std::abort();
}

// The same, for a detail that costs something to build: it is built only on a violation, so
// checks inside a loop over the input stay linear.
template<std::invocable Detail>
void require(bool holds, const char *property, Detail &&detail)
{
    if (!holds)
        require(false, property, QByteArray(detail()));
}

inline QByteArray show(const QString &text)
{
    return text.toUtf8().toPercentEncoding(" <>@,;:\"()[]'=*/!#$&+.?^_`{|}~");
}

// Strict UTF-8 (RFC 3629): no overlong forms, no surrogates, nothing above U+10FFFF. Written
// apart from the production decoder so the two can be compared.
inline bool isValidUtf8(const QByteArray &bytes)
{
    const auto *p = reinterpret_cast<const unsigned char *>(bytes.constData());
    const qsizetype n = bytes.size();
    for (qsizetype i = 0; i < n;) {
        const unsigned char b = p[i];
        int extra = 0;
        unsigned min = 0;
        unsigned cp = 0;
        if (b < 0x80) {
            ++i;
            continue;
        } else if ((b & 0xe0) == 0xc0) {
            extra = 1, min = 0x80, cp = b & 0x1f;
        } else if ((b & 0xf0) == 0xe0) {
            extra = 2, min = 0x800, cp = b & 0x0f;
        } else if ((b & 0xf8) == 0xf0) {
            extra = 3, min = 0x10000, cp = b & 0x07;
        } else {
            return false;
        }
        if (i + extra >= n)
            return false;
        for (int k = 1; k <= extra; ++k) {
            if ((p[i + k] & 0xc0) != 0x80)
                return false;
            cp = (cp << 6) | (p[i + k] & 0x3f);
        }
        if (cp < min || cp > 0x10ffff || (cp >= 0xd800 && cp <= 0xdfff))
            return false;
        i += extra + 1;
    }
    return true;
}

} // namespace orvane::fuzz
