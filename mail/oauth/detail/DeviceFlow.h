#pragma once

#include "form/NetworkWait.h"
#include "form/Status.h"
#include "mail/oauth/Provider.h"
#include "mail/oauth/SignInOptions.h"
#include "mail/oauth/detail/TokenGrant.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <chrono>

namespace orvane::mail::oauth::detail {

// The sign-in with a code typed on any device (RFC 8628): start() asks for the codes before
// the prompt shows them, poll() runs in the wait until the user has signed in, declined, or
// the code has run out.
class DeviceFlow
{
public:
    using Clock = std::chrono::steady_clock;

    DeviceFlow(const Provider &provider, const QString &user, const SignInOptions &options,
               ProviderHttp &http, const ProviderFailure &failure);

    // The device authorization request (RFC 8628 section 3.1).
    form::Status start(const QString &endpoint);
    form::WaitPrompt prompt() const;
    // Polls the token endpoint (RFC 8628 section 3.4) at the provider's interval.
    form::Result<TokenSet> poll(TokenGrant &grant, const std::atomic<bool> &cancelled);

    // RFC 8628 section 3.5: without an interval the client waits 5 seconds, and slow_down
    // adds 5 seconds to the interval for good.
    static constexpr std::chrono::seconds defaultInterval{5};
    static constexpr std::chrono::seconds slowDownStep{5};

private:
    const Provider &m_provider;
    const QString m_user;
    const SignInOptions &m_options;
    ProviderHttp &m_http;
    const ProviderFailure &m_failure;
    QByteArray m_deviceCode;
    QString m_userCode;
    QString m_verificationAddress;
    std::chrono::milliseconds m_interval = defaultInterval;
    std::chrono::milliseconds m_lifetime{0};
    Clock::time_point m_started;
};

} // namespace orvane::mail::oauth::detail
