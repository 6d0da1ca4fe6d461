#pragma once

#include "form/NetworkWait.h"

#include <QString>

#include <chrono>
#include <functional>
#include <memory>

namespace orvane::mail::oauth {

class TokenStore;

// What the program (or a test) hands to the real sign-in when it creates it.
struct SignInOptions
{
    // Extra trust anchors (PEM) for the provider's HTTPS. Empty: the system's trust store only.
    QString caFile;
    // Each request to the provider: connecting, and the whole exchange.
    std::chrono::milliseconds connectTimeout{std::chrono::seconds(15)};
    std::chrono::milliseconds requestTimeout{std::chrono::seconds(30)};
    // The longest a sign-in waits for the user when the provider names no expiry.
    std::chrono::milliseconds signInLimit{std::chrono::minutes(5)};
    // Opens the authorization address in the user's browser; false when no browser could be
    // started (the device flow is used then, where the provider has one). Called on the
    // user-interface thread. None: no browser.
    std::function<bool(const QString &address)> openBrowser;
    // False where nobody can answer (a script, a scanner button): a sign-in that would need the
    // user, because no refresh token is kept or the provider no longer takes it, fails at once
    // with SignInNeeded, before a browser opens or a code is asked for.
    bool askUser = true;
    // Where refresh tokens are kept. None: the desktop's secret store (QtKeychain), or this
    // run's memory where the session has none.
    std::shared_ptr<TokenStore> store;
    // Where the sign-in waits for the provider and the user.
    std::shared_ptr<form::NetworkWait> wait;
};

} // namespace orvane::mail::oauth
