#include "ProviderTable.h"

#include <QRegularExpression>
#include <QUrlQuery>

namespace orvane::mail::oauth {

namespace {

// The built-in providers: what an administrator would otherwise copy from the provider's
// documentation. Each needs a client ID of the administrator's own registration: a program
// must never sign in with another program's client.
struct Preset
{
    const char *name;
    const char *issuer; // %1: the tenant, where the provider has tenants
    const char *defaultTenant;
    const char *scope;
    const char *servers;
    const char *authorizationParameters;
    bool deviceFlowAllowed;
};

// clang-format off
constexpr Preset presets[] = {
    // offline_access asks for a refresh token; SMTP.Send is the delegated permission for
    // authenticated SMTP submission.
    {"Microsoft365", "https://login.microsoftonline.com/%1/v2.0", "organizations",
     "https://outlook.office.com/SMTP.Send offline_access",
     "smtp.office365.com smtp-mail.outlook.com", "", true},
    // A refresh token only with access_type=offline, and again after a new consent only with
    // prompt=consent. Its device flow grants no mail scope.
    {"Google", "https://accounts.google.com", "", "https://mail.google.com/",
     "smtp.gmail.com", "access_type=offline&prompt=consent", false},
};
// clang-format on

const Preset *presetNamed(const QString &name)
{
    for (const Preset &preset : presets)
        if (name == QLatin1String(preset.name))
            return &preset;
    return nullptr;
}

QStringList serverList(const QString &text)
{
    QStringList servers;
    for (const QString &server :
         text.split(QRegularExpression(QStringLiteral("[,;\\s]+")), Qt::SkipEmptyParts))
        servers.append(server.toLower());
    return servers;
}

QList<QPair<QString, QString>> parameterList(const QString &text)
{
    QList<QPair<QString, QString>> parameters;
    const QUrlQuery query(text);
    for (const auto &[name, value] : query.queryItems(QUrl::FullyDecoded))
        parameters.append({name, value});
    return parameters;
}

ConfiguredProvider build(const QString &name, const QMap<QString, QString> &keys)
{
    const auto key = [&](const char *k) {
        return keys.value(name + QLatin1Char('/') + QLatin1String(k)).trimmed();
    };
    ConfiguredProvider entry;
    Provider &p = entry.provider;
    p.name = name;
    const Preset *preset = presetNamed(name);
    if (preset) {
        const QString tenant
                = key("Tenant").isEmpty() ? QLatin1String(preset->defaultTenant) : key("Tenant");
        p.issuer = QString::fromLatin1(preset->issuer).arg(tenant);
        p.scope = QLatin1String(preset->scope);
        p.servers = serverList(QLatin1String(preset->servers));
        p.authorizationParameters = parameterList(QLatin1String(preset->authorizationParameters));
        p.deviceFlowAllowed = preset->deviceFlowAllowed;
    }
    p.clientId = key("ClientId");
    p.clientSecret = key("ClientSecret");
    if (!key("Issuer").isEmpty())
        p.issuer = key("Issuer");
    if (!key("Scope").isEmpty())
        p.scope = key("Scope");
    if (!key("Servers").isEmpty())
        p.servers = serverList(key("Servers"));
    if (keys.contains(name + QStringLiteral("/AuthorizationParameters")))
        p.authorizationParameters = parameterList(key("AuthorizationParameters"));
    p.authorizationEndpoint = key("AuthorizationEndpoint");
    p.tokenEndpoint = key("TokenEndpoint");
    p.deviceAuthorizationEndpoint = key("DeviceAuthorizationEndpoint");

    const QString where = QStringLiteral("The OAuth configuration \"%1\" ").arg(name);
    const QString flow = key("Flow").toLower();
    if (flow == u"device")
        p.flow = Flow::Device;
    else if (!flow.isEmpty() && flow != u"browser")
        entry.problem = where
                        + QStringLiteral("has Flow=%1; it takes \"browser\" or \"device\".")
                                  .arg(key("Flow"));
    if (p.flow == Flow::Device && !p.deviceFlowAllowed)
        entry.problem = where
                        + QStringLiteral("asks for the device flow, which this provider "
                                         "does not grant mail access through; remove "
                                         "Flow=device to sign in in the browser.");
    if (p.clientId.isEmpty())
        entry.problem = where
                        + QStringLiteral("has no ClientId: the administrator must "
                                         "register the application with the provider "
                                         "and enter its client ID.");
    else if (p.issuer.isEmpty() && p.tokenEndpoint.isEmpty())
        entry.problem = where + QStringLiteral("names neither an Issuer nor a TokenEndpoint.");
    else if (p.scope.isEmpty())
        entry.problem = where
                        + QStringLiteral("has no Scope: enter the scope the provider "
                                         "grants for sending mail.");
    return entry;
}

} // namespace

ProviderTable ProviderTable::fromKeys(const QMap<QString, QString> &keys)
{
    QStringList names;
    for (const QString &key : keys.keys()) {
        const QString name = key.section(u'/', 0, 0);
        if (key.contains(u'/') && !name.isEmpty() && !names.contains(name))
            names.append(name);
    }
    ProviderTable table;
    for (const bool presets : {false, true})
        for (const QString &name : names)
            if ((presetNamed(name) != nullptr) == presets)
                table.m_providers.append(build(name, keys));
    return table;
}

const ConfiguredProvider *ProviderTable::forServer(const QString &host) const
{
    const QString wanted = host.trimmed().toLower();
    for (const ConfiguredProvider &entry : m_providers)
        if (entry.provider.servers.contains(wanted))
            return &entry;
    return nullptr;
}

} // namespace orvane::mail::oauth
