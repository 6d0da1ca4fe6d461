#pragma once

#include "form/Status.h"
#include "mail/oauth/Provider.h"
#include "mail/oauth/detail/ProviderHttp.h"

#include <QJsonObject>
#include <QString>

#include <optional>

namespace orvane::mail::oauth::detail {

// The endpoints of one provider: those the configuration gives, the rest from the issuer's
// discovery document (OpenID Connect Discovery 1.0 section 4, RFC 8414 section 3), fetched
// once, and only when an endpoint that is needed is not given. Every endpoint passes the same
// https rule as the requests themselves.
class Discovery
{
public:
    Discovery(const Provider &provider, ProviderHttp &http, const ProviderFailure &failure);

    // The addresses the configuration gives, checked before any request is made.
    form::Status checkConfiguration() const;

    form::Result<QString> authorizationEndpoint();
    form::Result<QString> tokenEndpoint();
    form::Result<QString> deviceAuthorizationEndpoint();

    // <issuer>/.well-known/openid-configuration, the issuer's trailing slash dropped.
    QString documentAddress() const;

private:
    form::Result<QString> endpoint(const QString &given, const char *member, const QString &what);
    form::Status fetch();

    const Provider &m_provider;
    ProviderHttp &m_http;
    const ProviderFailure &m_failure;
    std::optional<form::Status> m_fetched; // the outcome of the one fetch, once made
    QJsonObject m_document;
};

} // namespace orvane::mail::oauth::detail
