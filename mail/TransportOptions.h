#pragma once

#include "form/NetworkWait.h"
#include "mail/oauth/ProviderTable.h"

#include <QString>

#include <chrono>
#include <functional>
#include <memory>

namespace orvane::mail {

namespace oauth {
class SignIn;
}

// How TLS starts on a port when SSL is ticked.
enum class TlsStart {
    Implicit, // TLS from the first byte (RFC 8314 section 3)
    StartTls, // plain greeting, then STARTTLS, which is then required (RFC 3207)
};

// The usual rule: port 465 is implicit TLS, every other port uses STARTTLS.
TlsStart standardTlsStart(int port);

// What the program (or a test) hands to the real components when it creates them. Nothing here
// is reachable from the window: a CA file can only come from code.
struct TransportOptions
{
    // Extra trust anchors (PEM). Empty: the system's trust store only.
    QString caFile;
    std::chrono::milliseconds connectTimeout{std::chrono::seconds(30)};
    // The longest time without any progress (no byte sent or received) before giving up.
    std::chrono::milliseconds stallTimeout{std::chrono::seconds(60)};
    std::function<TlsStart(int port)> tlsStart = standardTlsStart;
    // Where send() waits for the server and reports how far the upload is. None: on the
    // calling thread.
    std::shared_ptr<form::NetworkWait> wait;
    // The OAuth providers the administrator configured, read at each send; none: no send signs
    // in with OAuth. A send with a login and an empty password to a server one of them names
    // gets its access token from `signIn`.
    std::function<oauth::ProviderTable()> oauthProviders;
    std::shared_ptr<oauth::SignIn> signIn;
};

} // namespace orvane::mail
