#include "Discovery.h"

namespace orvane::mail::oauth::detail {

using form::Status;

namespace {

const QString authorizationName = QStringLiteral("authorization endpoint");
const QString tokenName = QStringLiteral("token endpoint");
const QString deviceName = QStringLiteral("device authorization endpoint");

} // namespace

Discovery::Discovery(const Provider &provider, ProviderHttp &http, const ProviderFailure &failure)
    : m_provider(provider)
    , m_http(http)
    , m_failure(failure)
{}

Status Discovery::checkConfiguration() const
{
    if (!m_provider.issuer.isEmpty())
        if (Status s = m_http.checkAddress(QStringLiteral("issuer address"), m_provider.issuer);
            !s.ok())
            return s;
    const QPair<QString, QString> given[] = {
            {authorizationName, m_provider.authorizationEndpoint},
            {tokenName, m_provider.tokenEndpoint},
            {deviceName, m_provider.deviceAuthorizationEndpoint},
    };
    for (const auto &[what, address] : given)
        if (!address.isEmpty())
            if (Status s = m_http.checkAddress(what, address); !s.ok())
                return s;
    return Status::success();
}

QString Discovery::documentAddress() const
{
    QString issuer = m_provider.issuer;
    while (issuer.endsWith(u'/'))
        issuer.chop(1);
    return issuer + QStringLiteral("/.well-known/openid-configuration");
}

form::Result<QString> Discovery::authorizationEndpoint()
{
    return endpoint(m_provider.authorizationEndpoint, "authorization_endpoint", authorizationName);
}

form::Result<QString> Discovery::tokenEndpoint()
{
    return endpoint(m_provider.tokenEndpoint, "token_endpoint", tokenName);
}

form::Result<QString> Discovery::deviceAuthorizationEndpoint()
{
    return endpoint(m_provider.deviceAuthorizationEndpoint, "device_authorization_endpoint",
                    deviceName);
}

form::Result<QString> Discovery::endpoint(const QString &given, const char *member,
                                          const QString &what)
{
    if (!given.isEmpty())
        return {Status::success(), given};
    if (m_provider.issuer.isEmpty())
        return m_failure.badAddress(what, QString());
    if (Status s = fetch(); !s.ok())
        return s;
    const QString found = m_document.value(QLatin1String(member)).toString();
    if (found.isEmpty())
        return m_failure.notDiscovered(what, documentAddress());
    if (Status s = m_http.checkAddress(what, found); !s.ok())
        return s;
    return {Status::success(), found};
}

Status Discovery::fetch()
{
    if (!m_fetched) {
        // Discovery runs before the user is asked anything, where there is nothing to cancel.
        static const std::atomic<bool> never{false};
        const form::Result<ProviderAnswer> answer = m_http.get(documentAddress(), never);
        if (answer.ok() && answer.value.httpStatus != 200)
            m_fetched = m_failure.unusableAnswer(QUrl(documentAddress()).host(),
                                                 answer.value.httpStatus,
                                                 QStringLiteral("no discovery document"));
        else
            m_fetched = answer.status;
        if (answer.ok())
            m_document = answer.value.body;
        // The document's "issuer" is not compared with the configured one: a multi-tenant
        // issuer publishes a template there ("{tenantid}"), and the endpoints come over HTTPS
        // from the configured issuer itself, which is what they are trusted for.
    }
    return *m_fetched;
}

} // namespace orvane::mail::oauth::detail
