#pragma once

#include "form/Status.h"
#include "mail/oauth/Provider.h"

#include <QByteArray>
#include <QString>

namespace orvane::mail::oauth {

// Gets SMTP an access token (RFC 6749) for a user at a provider. The message asks for one
// just before it connects, on the user-interface thread; a sign-in that needs the user shows
// its prompt through the network wait, which keeps the window painting and offers Cancel.
class SignIn
{
public:
    virtual ~SignIn() = default;

    // A fresh access token for `user` (the login hint, and the user SMTP signs in as): from the
    // refresh token kept for this issuer, client and user where there is one, else by a sign-in
    // of the user's (the browser or the device flow). A refresh token the provider no longer
    // takes (invalid_grant) is forgotten and the sign-in starts once, by itself. Failures:
    // SignInConfiguration, SignInRefused, SignInUnreachable, SignInExpired, Cancelled, and
    // SignInNeeded where the options say not to ask the user.
    virtual form::Result<QByteArray> accessToken(const Provider &provider, const QString &user) = 0;

    // What the user should know once about how tokens are kept (no secret store: the sign-in
    // lasts for this run only); empty when there is nothing, or it was said already.
    virtual QString takeRemark() = 0;
};

} // namespace orvane::mail::oauth
