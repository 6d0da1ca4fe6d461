#pragma once

#include "mail/oauth/SignIn.h"
#include "mail/oauth/SignInOptions.h"
#include "mail/oauth/TokenStore.h"

#include <QHash>

#include <chrono>
#include <memory>
#include <mutex>
#include <optional>

namespace orvane::mail::oauth {

namespace detail {
class Discovery;
class ProviderFailure;
class ProviderHttp;
struct TokenSet;
} // namespace detail

// The sign-in behind SMTP's bearer token. A kept refresh token is tried first (RFC 6749
// section 6), from this run's memory or the token store; a refused one is forgotten and the
// user signs in once more, in the browser or, where the provider asks for it or no browser
// starts, with a code on another device. What the user must do is shown through the options'
// network wait, which also offers Cancel.
class OAuthSignIn : public SignIn
{
public:
    // Without a store the desktop's secret store is used; without a wait, work runs on the
    // calling thread.
    explicit OAuthSignIn(SignInOptions options);
    ~OAuthSignIn() override;

    form::Result<QByteArray> accessToken(const Provider &provider, const QString &user) override;
    QString takeRemark() override;

    // What the user reads once when a refresh token can be kept for this run only.
    static QString noStoreRemark();

private:
    // This run's copy of a sign-in.
    struct Kept
    {
        QByteArray refreshToken;
        QByteArray accessToken;
        std::chrono::steady_clock::time_point accessExpires;
    };
    struct Call;

    // The access token from a kept refresh token; nullopt when the user must sign in.
    std::optional<form::Result<QByteArray>> refreshed(Call &call);
    form::Result<QByteArray> signIn(Call &call);
    form::Result<detail::TokenSet> browserSignIn(Call &call);
    form::Result<detail::TokenSet> deviceSignIn(Call &call);
    QByteArray keptRefreshToken(const QString &key);
    void keep(const QString &key, const detail::TokenSet &tokens);
    void forget(const QString &key);

    SignInOptions m_options;
    std::mutex m_mutex;
    QHash<QString, Kept> m_kept;
    bool m_storeUsable = true;
    bool m_remarked = false;
    QString m_remark;
};

} // namespace orvane::mail::oauth
