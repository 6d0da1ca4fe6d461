#include "mail/oauth/OAuthModule.h"

#include "mail/oauth/OAuthSignIn.h"

orvane::mail::oauth::SignIn *
orvane_create_sign_in(const orvane::mail::oauth::SignInOptions *options)
{
    return options ? new orvane::mail::oauth::OAuthSignIn(*options) : nullptr;
}
