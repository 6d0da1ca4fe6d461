#include "Pkce.h"

#include <QCryptographicHash>
#include <QRandomGenerator>

#include <array>

namespace orvane::mail::oauth::detail {

namespace {

// 32 octets give the 43-character verifier RFC 7636 section 4.1 recommends, 256 bits of
// entropy.
constexpr int randomOctets = 32;

QByteArray base64Url(const QByteArray &bytes)
{
    return bytes.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
}

QByteArray randomBase64Url()
{
    std::array<quint32, randomOctets / sizeof(quint32)> words{};
    QRandomGenerator::system()->fillRange(words.data(), qsizetype(words.size()));
    return base64Url(QByteArray(reinterpret_cast<const char *>(words.data()), randomOctets));
}

} // namespace

Pkce::Pkce()
    : m_verifier(randomBase64Url())
{}

QByteArray Pkce::challenge() const
{
    return base64Url(QCryptographicHash::hash(m_verifier, QCryptographicHash::Sha256));
}

QByteArray Pkce::randomState()
{
    return randomBase64Url();
}

} // namespace orvane::mail::oauth::detail
