#pragma once

#include "mail/oauth/Provider.h"

#include <QList>
#include <QMap>
#include <QString>

namespace orvane::mail::oauth {

// A provider as the administrator configured it, and why it cannot be used, if it cannot.
struct ConfiguredProvider
{
    Provider provider;
    QString problem; // empty: usable
};

// The OAuth providers of the configuration group "OAuth": one subgroup per provider, named
// "Microsoft365" or "Google" for a built-in preset (the administrator supplies the client ID,
// and may override any other key), or any other name for a provider given in full:
//
//     ClientId, ClientSecret, Tenant (Microsoft365), Issuer, Scope, Servers, Flow,
//     AuthorizationParameters, AuthorizationEndpoint, TokenEndpoint,
//     DeviceAuthorizationEndpoint
//
// The program only reads this group; with none, no Send signs in with OAuth.
class ProviderTable
{
public:
    // The group's keys as "Subgroup/Key" -> value.
    static ProviderTable fromKeys(const QMap<QString, QString> &keys);

    // The provider that signs in for the SMTP server `host` (compared without case), or null.
    // A provider the administrator named wins over a preset that claims the same server.
    const ConfiguredProvider *forServer(const QString &host) const;

    const QList<ConfiguredProvider> &providers() const { return m_providers; }

private:
    QList<ConfiguredProvider> m_providers; // the administrator's own first, then the presets
};

} // namespace orvane::mail::oauth
