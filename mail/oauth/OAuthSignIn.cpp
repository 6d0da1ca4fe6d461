#include "OAuthSignIn.h"

#include "mail/oauth/KeychainTokenStore.h"
#include "mail/oauth/detail/BrowserFlow.h"
#include "mail/oauth/detail/DeviceFlow.h"
#include "mail/oauth/detail/Discovery.h"
#include "mail/oauth/detail/ProviderFailure.h"
#include "mail/oauth/detail/ProviderHttp.h"
#include "mail/oauth/detail/TokenGrant.h"

namespace orvane::mail::oauth {

using form::Status;
using Clock = std::chrono::steady_clock;

namespace {

// A kept access token is used only while it has at least this long to live, so that it does
// not run out between here and SMTP's AUTH.
constexpr std::chrono::seconds expiryMargin{60};

// Steps that run before the user is asked anything have nothing to cancel them.
const std::atomic<bool> never{false};

} // namespace

// What one accessToken() call works with.
struct OAuthSignIn::Call
{
    Call(const Provider &provider, const QString &user, const SignInOptions &options)
        : provider(provider)
        , user(user)
        , options(options)
        , failure(provider)
        , http(options, failure)
        , discovery(provider, http, failure)
        , key(TokenStore::keyFor(provider.issuer.isEmpty() ? provider.tokenEndpoint
                                                           : provider.issuer,
                                 provider.clientId, user))
    {}

    const Provider &provider;
    const QString &user;
    const SignInOptions &options;
    const detail::ProviderFailure failure;
    detail::ProviderHttp http;
    detail::Discovery discovery;
    const QString key;
};

OAuthSignIn::OAuthSignIn(SignInOptions options)
    : m_options(std::move(options))
{
    if (!m_options.store)
        m_options.store = std::make_shared<KeychainTokenStore>();
    if (!m_options.wait)
        m_options.wait = std::make_shared<form::NetworkWait>();
}

OAuthSignIn::~OAuthSignIn() = default;

QString OAuthSignIn::noStoreRemark()
{
    // The status line has room for a few words after the date and time.
    return QStringLiteral("Sign-in kept for this run only.");
}

QString OAuthSignIn::takeRemark()
{
    const std::lock_guard lock(m_mutex);
    return std::exchange(m_remark, QString());
}

form::Result<QByteArray> OAuthSignIn::accessToken(const Provider &provider, const QString &user)
{
    Call call(provider, user, m_options);
    if (provider.clientId.isEmpty())
        return call.failure.noClientId();
    // Every address is checked before the first request goes anywhere.
    if (Status s = call.discovery.checkConfiguration(); !s.ok())
        return s;
    std::optional<form::Result<QByteArray>> token
            = form::waitFor(m_options.wait, [&] { return refreshed(call); });
    if (token)
        return *token;
    if (!m_options.askUser)
        return call.failure.userNeeded(user);
    return signIn(call);
}

std::optional<form::Result<QByteArray>> OAuthSignIn::refreshed(Call &call)
{
    const QByteArray refreshToken = keptRefreshToken(call.key);
    if (refreshToken.isEmpty()) {
        // A provider that issues no refresh token: the last access token while it lasts.
        const std::lock_guard lock(m_mutex);
        const Kept kept = m_kept.value(call.key);
        if (!kept.accessToken.isEmpty() && Clock::now() + expiryMargin < kept.accessExpires)
            return form::Result<QByteArray>(Status::success(), kept.accessToken);
        return std::nullopt;
    }
    const form::Result<QString> endpoint = call.discovery.tokenEndpoint();
    if (!endpoint.ok())
        return endpoint.status;
    detail::TokenGrant grant(call.provider, call.http, call.failure, endpoint.value);
    const form::Result<detail::GrantAnswer> answer = grant.refresh(refreshToken, never);
    if (!answer.ok())
        return answer.status;
    const detail::ProviderError &refusal = answer.value.refusal;
    if (refusal.error == QLatin1String("invalid_grant")) {
        // Revoked, expired or rotated away elsewhere (RFC 6749 section 5.2): only a new
        // sign-in helps, and the user is asked for it once, here.
        forget(call.key);
        return std::nullopt;
    }
    if (!refusal.error.isEmpty())
        return call.failure.refused(refusal);
    detail::TokenSet tokens = answer.value.tokens;
    // Without a new one the old refresh token stays valid (RFC 6749 section 6).
    if (tokens.refreshToken.isEmpty())
        tokens.refreshToken = refreshToken;
    keep(call.key, tokens);
    return form::Result<QByteArray>(Status::success(), tokens.accessToken);
}

form::Result<QByteArray> OAuthSignIn::signIn(Call &call)
{
    const bool device = call.provider.flow == Flow::Device && call.provider.deviceFlowAllowed;
    const form::Result<detail::TokenSet> tokens = device ? deviceSignIn(call) : browserSignIn(call);
    if (!tokens.ok())
        return tokens.status;
    form::waitFor(m_options.wait, [&] {
        keep(call.key, tokens.value);
        return true;
    });
    return {Status::success(), tokens.value.accessToken};
}

form::Result<detail::TokenSet> OAuthSignIn::browserSignIn(Call &call)
{
    using Endpoints = std::pair<form::Result<QString>, form::Result<QString>>;
    const Endpoints endpoints = form::waitFor(m_options.wait, [&] {
        form::Result<QString> authorization = call.discovery.authorizationEndpoint();
        if (!authorization.ok())
            return Endpoints(authorization, authorization);
        return Endpoints(authorization, call.discovery.tokenEndpoint());
    });
    if (!endpoints.first.ok())
        return endpoints.first.status;
    if (!endpoints.second.ok())
        return endpoints.second.status;
    detail::BrowserFlow flow(call.provider, call.user, m_options, call.failure);
    if (Status s = flow.listen(); !s.ok())
        return s;
    const QString address = flow.authorizationAddress(endpoints.first.value);
    // On this (the user-interface) thread, and before the wait, so the browser is up while
    // the prompt shows.
    if (!m_options.openBrowser || !m_options.openBrowser(address)) {
        if (!call.provider.deviceFlowAllowed)
            return call.failure.noBrowser();
        const form::Result<QString> deviceEndpoint = form::waitFor(
                m_options.wait, [&] { return call.discovery.deviceAuthorizationEndpoint(); });
        if (!deviceEndpoint.ok())
            return call.failure.noBrowser();
        return deviceSignIn(call);
    }
    detail::TokenGrant grant(call.provider, call.http, call.failure, endpoints.second.value);
    std::optional<form::Result<detail::TokenSet>> tokens;
    m_options.wait->runPrompted(flow.prompt(address), [&](const std::atomic<bool> &cancelled) {
        tokens.emplace(flow.finish(grant, cancelled));
    });
    return std::move(*tokens);
}

form::Result<detail::TokenSet> OAuthSignIn::deviceSignIn(Call &call)
{
    detail::DeviceFlow flow(call.provider, call.user, m_options, call.http, call.failure);
    const form::Result<QString> tokenEndpoint = form::waitFor(m_options.wait, [&] {
        const form::Result<QString> device = call.discovery.deviceAuthorizationEndpoint();
        if (!device.ok())
            return device;
        form::Result<QString> token = call.discovery.tokenEndpoint();
        if (!token.ok())
            return token;
        if (Status s = flow.start(device.value); !s.ok())
            return form::Result<QString>(s);
        return token;
    });
    if (!tokenEndpoint.ok())
        return tokenEndpoint.status;
    detail::TokenGrant grant(call.provider, call.http, call.failure, tokenEndpoint.value);
    std::optional<form::Result<detail::TokenSet>> tokens;
    m_options.wait->runPrompted(flow.prompt(), [&](const std::atomic<bool> &cancelled) {
        tokens.emplace(flow.poll(grant, cancelled));
    });
    return std::move(*tokens);
}

QByteArray OAuthSignIn::keptRefreshToken(const QString &key)
{
    {
        const std::lock_guard lock(m_mutex);
        const auto found = m_kept.constFind(key);
        if (found != m_kept.constEnd() && !found->refreshToken.isEmpty())
            return found->refreshToken;
        if (!m_storeUsable)
            return {};
    }
    const form::Result<std::optional<QByteArray>> stored = m_options.store->read(key);
    const std::lock_guard lock(m_mutex);
    if (!stored.ok()) {
        // No store, or one that cannot be used: this run keeps its tokens in memory.
        m_storeUsable = false;
        return {};
    }
    if (!stored.value)
        return {};
    m_kept[key].refreshToken = *stored.value;
    return *stored.value;
}

void OAuthSignIn::keep(const QString &key, const detail::TokenSet &tokens)
{
    bool write = false;
    {
        const std::lock_guard lock(m_mutex);
        Kept &kept = m_kept[key];
        const bool rotated = kept.refreshToken != tokens.refreshToken;
        kept.refreshToken = tokens.refreshToken;
        kept.accessToken = tokens.accessToken;
        kept.accessExpires = tokens.expiresIn.count() > 0 ? Clock::now() + tokens.expiresIn
                                                          : Clock::time_point();
        write = rotated && !tokens.refreshToken.isEmpty() && m_storeUsable;
    }
    const Status written
            = write ? m_options.store->write(key, tokens.refreshToken) : Status::success();
    const std::lock_guard lock(m_mutex);
    if (!written.ok())
        m_storeUsable = false;
    if (!m_storeUsable && !tokens.refreshToken.isEmpty() && !m_remarked) {
        m_remarked = true;
        m_remark = noStoreRemark();
    }
}

void OAuthSignIn::forget(const QString &key)
{
    bool usable = false;
    {
        const std::lock_guard lock(m_mutex);
        m_kept.remove(key);
        usable = m_storeUsable;
    }
    if (usable && !m_options.store->remove(key).ok()) {
        const std::lock_guard lock(m_mutex);
        m_storeUsable = false;
    }
}

} // namespace orvane::mail::oauth
