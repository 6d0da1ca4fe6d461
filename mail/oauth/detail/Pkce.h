#pragma once

#include <QByteArray>

namespace orvane::mail::oauth::detail {

// Proof Key for Code Exchange (RFC 7636) with the S256 method, and the random `state` of an
// authorization request (RFC 6749 section 10.12).
class Pkce
{
public:
    // A fresh verifier from the system's random source.
    Pkce();

    QByteArray verifier() const { return m_verifier; }
    // BASE64URL(SHA256(verifier)), RFC 7636 section 4.2.
    QByteArray challenge() const;
    static QByteArray method() { return QByteArrayLiteral("S256"); }

    // An unguessable value the redirect must bring back unchanged.
    static QByteArray randomState();

private:
    QByteArray m_verifier;
};

} // namespace orvane::mail::oauth::detail
