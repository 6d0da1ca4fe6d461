#pragma once

#include "form/Status.h"
#include "mail/oauth/Provider.h"
#include "mail/oauth/detail/ProviderHttp.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QString>

#include <atomic>
#include <chrono>

namespace orvane::mail::oauth::detail {

// What a successful token request gave (RFC 6749 section 5.1).
struct TokenSet
{
    QByteArray accessToken;
    QByteArray refreshToken;           // empty when none was issued (or none rotated)
    std::chrono::seconds expiresIn{0}; // 0 when the provider did not say
};

// One answer of the token endpoint: the tokens, or the provider's error (RFC 6749 section
// 5.2), which its caller reads: a device flow's authorization_pending is no failure.
struct GrantAnswer
{
    TokenSet tokens;
    ProviderError refusal; // its error is empty on success
};

// The requests to the token endpoint: the code exchange (RFC 6749 section 4.1.3 with the
// verifier of RFC 7636 section 4.5), the refresh (RFC 6749 section 6) and the device poll
// (RFC 8628 section 3.4). A public client names itself by client_id alone; where the
// configuration has a client secret (issued to installed applications, and no secret there)
// it goes in the body (client_secret_post, RFC 6749 section 2.3.1).
class TokenGrant
{
public:
    TokenGrant(const Provider &provider, ProviderHttp &http, const ProviderFailure &failure,
               QString tokenEndpoint);

    form::Result<GrantAnswer> exchangeCode(const QByteArray &code, const QString &redirectUri,
                                           const QByteArray &verifier,
                                           const std::atomic<bool> &cancelled);
    form::Result<GrantAnswer> refresh(const QByteArray &refreshToken,
                                      const std::atomic<bool> &cancelled);
    form::Result<GrantAnswer> pollDevice(const QByteArray &deviceCode,
                                         const std::atomic<bool> &cancelled);

private:
    form::Result<GrantAnswer> request(FormFields fields, const QByteArrayList &secrets,
                                      const std::atomic<bool> &cancelled);
    form::Result<GrantAnswer> send(FormFields fields, const std::atomic<bool> &cancelled);

    const Provider &m_provider;
    ProviderHttp &m_http;
    const ProviderFailure &m_failure;
    const QString m_tokenEndpoint;
};

} // namespace orvane::mail::oauth::detail
