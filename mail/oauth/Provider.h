#pragma once

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

namespace orvane::mail::oauth {

// How the user signs in (RFC 8252 for native applications).
enum class Flow {
    Browser, // authorization code with PKCE, the redirect caught on 127.0.0.1 (RFC 8252 7.3)
    Device,  // device authorization grant (RFC 8628): a code typed on any device
};

// One OAuth 2.0 authorization server and the registered application that signs in to it for
// SMTP. Built from the administrator's configuration over a preset (see ProviderTable.h); the
// code that runs a sign-in never names a provider.
struct Provider
{
    QString name;   // the configuration group: "Microsoft365", "Google", or the administrator's
    QString issuer; // e.g. "https://accounts.google.com"; discovery starts here
    QString clientId;
    // Issued by Google to installed applications and not a secret there; empty for a public
    // client, which proves itself with PKCE alone.
    QString clientSecret;
    QString scope;       // space-separated, as the token request takes it
    QStringList servers; // the SMTP host names (lower case) this provider signs in for
    // Extra parameters of the authorization request, e.g. {"access_type", "offline"}.
    QList<QPair<QString, QString>> authorizationParameters;
    Flow flow = Flow::Browser;
    // Whether the device flow may be used at all (Google's grants no mail scopes).
    bool deviceFlowAllowed = true;
    // Endpoints given one by one; an empty one comes from the issuer's discovery document.
    QString authorizationEndpoint;
    QString tokenEndpoint;
    QString deviceAuthorizationEndpoint;
};

} // namespace orvane::mail::oauth
