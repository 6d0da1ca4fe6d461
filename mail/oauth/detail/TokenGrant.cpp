#include "TokenGrant.h"

namespace orvane::mail::oauth::detail {

using form::Status;

TokenGrant::TokenGrant(const Provider &provider, ProviderHttp &http, const ProviderFailure &failure,
                       QString tokenEndpoint)
    : m_provider(provider)
    , m_http(http)
    , m_failure(failure)
    , m_tokenEndpoint(std::move(tokenEndpoint))
{}

form::Result<GrantAnswer> TokenGrant::exchangeCode(const QByteArray &code,
                                                   const QString &redirectUri,
                                                   const QByteArray &verifier,
                                                   const std::atomic<bool> &cancelled)
{
    return request({{QStringLiteral("grant_type"), QStringLiteral("authorization_code")},
                    {QStringLiteral("code"), QString::fromUtf8(code)},
                    {QStringLiteral("redirect_uri"), redirectUri},
                    {QStringLiteral("code_verifier"), QString::fromLatin1(verifier)}},
                   {code, verifier}, cancelled);
}

form::Result<GrantAnswer> TokenGrant::refresh(const QByteArray &refreshToken,
                                              const std::atomic<bool> &cancelled)
{
    return request({{QStringLiteral("grant_type"), QStringLiteral("refresh_token")},
                    {QStringLiteral("refresh_token"), QString::fromUtf8(refreshToken)}},
                   {refreshToken}, cancelled);
}

form::Result<GrantAnswer> TokenGrant::pollDevice(const QByteArray &deviceCode,
                                                 const std::atomic<bool> &cancelled)
{
    return request({{QStringLiteral("grant_type"),
                     QStringLiteral("urn:ietf:params:oauth:grant-type:device_code")},
                    {QStringLiteral("device_code"), QString::fromUtf8(deviceCode)}},
                   {deviceCode}, cancelled);
}

form::Result<GrantAnswer> TokenGrant::request(FormFields fields, const QByteArrayList &secrets,
                                              const std::atomic<bool> &cancelled)
{
    form::Result<GrantAnswer> answer = send(std::move(fields), cancelled);
    // Whatever the provider echoed, no secret of this request reaches a box.
    QByteArrayList all = secrets;
    all << m_provider.clientSecret.toUtf8() << answer.value.tokens.accessToken
        << answer.value.tokens.refreshToken;
    Status words = Status::failure(form::StatusKind::Internal, 0, answer.value.refusal.description);
    ProviderFailure::redact(answer.status, all);
    ProviderFailure::redact(words, all);
    answer.value.refusal.description = words.description;
    return answer;
}

form::Result<GrantAnswer> TokenGrant::send(FormFields fields, const std::atomic<bool> &cancelled)
{
    fields.append({QStringLiteral("client_id"), m_provider.clientId});
    if (!m_provider.clientSecret.isEmpty())
        fields.append({QStringLiteral("client_secret"), m_provider.clientSecret});
    const form::Result<ProviderAnswer> answer = m_http.post(m_tokenEndpoint, fields, cancelled);
    if (!answer.ok())
        return answer.status;
    const QJsonObject &body = answer.value.body;
    GrantAnswer grant;
    grant.refusal = ProviderError::fromJson(body);
    const QString host = QUrl(m_tokenEndpoint).host();
    if (!grant.refusal.error.isEmpty())
        return {Status::success(), grant};
    if (answer.value.httpStatus != 200)
        return m_failure.unusableAnswer(host, answer.value.httpStatus,
                                        QStringLiteral("neither tokens nor an error"));
    grant.tokens.accessToken = body.value(QLatin1String("access_token")).toString().toUtf8();
    grant.tokens.refreshToken = body.value(QLatin1String("refresh_token")).toString().toUtf8();
    grant.tokens.expiresIn
            = std::chrono::seconds(body.value(QLatin1String("expires_in")).toInteger());
    if (grant.tokens.accessToken.isEmpty())
        return m_failure.unusableAnswer(host, answer.value.httpStatus,
                                        QStringLiteral("no access token"));
    // SMTP presents the token as a bearer token (RFC 7628 section 3.2.1, RFC 6750); a token
    // of another type (bound to a key, say) would be refused there.
    const QString type = body.value(QLatin1String("token_type")).toString();
    if (type.compare(QLatin1String("Bearer"), Qt::CaseInsensitive) != 0)
        return m_failure.unusableAnswer(host, answer.value.httpStatus,
                                        QStringLiteral("a token of type \"%1\", not a bearer "
                                                       "token")
                                                .arg(type.left(40)));
    return {Status::success(), grant};
}

} // namespace orvane::mail::oauth::detail
