#pragma once

#include "form/NetworkWait.h"
#include "form/Status.h"
#include "mail/oauth/Provider.h"
#include "mail/oauth/SignInOptions.h"
#include "mail/oauth/detail/LoopbackListener.h"
#include "mail/oauth/detail/Pkce.h"
#include "mail/oauth/detail/TokenGrant.h"

#include <QString>

#include <atomic>

namespace orvane::mail::oauth::detail {

// The sign-in in the user's browser: the authorization code grant (RFC 6749 section 4.1) with
// PKCE S256 (RFC 7636) and a state, the redirect caught on 127.0.0.1 (RFC 8252 section 7.3).
// listen() and authorizationAddress() come before the browser is opened, finish() runs in the
// wait while the user signs in.
class BrowserFlow
{
public:
    BrowserFlow(const Provider &provider, const QString &user, const SignInOptions &options,
                const ProviderFailure &failure);

    form::Status listen();
    // The authorization request (RFC 6749 section 4.1.1, RFC 7636 section 4.3) at `endpoint`.
    QString authorizationAddress(const QString &endpoint) const;
    form::WaitPrompt prompt(const QString &address) const;

    // Waits for the redirect (at most the options' sign-in limit) and trades its code for
    // tokens (RFC 6749 section 4.1.3).
    form::Result<TokenSet> finish(TokenGrant &grant, const std::atomic<bool> &cancelled);

private:
    const Provider &m_provider;
    const QString m_user;
    const SignInOptions &m_options;
    const ProviderFailure &m_failure;
    const Pkce m_pkce;
    const QByteArray m_state;
    LoopbackListener m_listener;
};

} // namespace orvane::mail::oauth::detail
