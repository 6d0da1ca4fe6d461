#include "DeviceFlow.h"

#include <QUrl>

#include <thread>

namespace orvane::mail::oauth::detail {

using form::Status;

namespace {

// How often a wait between polls looks at the cancel flag: Cancel acts at once.
constexpr std::chrono::milliseconds slice{100};

} // namespace

DeviceFlow::DeviceFlow(const Provider &provider, const QString &user, const SignInOptions &options,
                       ProviderHttp &http, const ProviderFailure &failure)
    : m_provider(provider)
    , m_user(user)
    , m_options(options)
    , m_http(http)
    , m_failure(failure)
{}

Status DeviceFlow::start(const QString &endpoint)
{
    FormFields fields = {{QStringLiteral("client_id"), m_provider.clientId},
                         {QStringLiteral("scope"), m_provider.scope}};
    if (!m_provider.clientSecret.isEmpty())
        fields.append({QStringLiteral("client_secret"), m_provider.clientSecret});
    static const std::atomic<bool> never{false};
    m_started = Clock::now();
    form::Result<ProviderAnswer> answer = m_http.post(endpoint, fields, never);
    ProviderFailure::redact(answer.status, {m_provider.clientSecret.toUtf8()});
    if (!answer.ok())
        return answer.status;
    const QJsonObject &body = answer.value.body;
    const ProviderError refusal = ProviderError::fromJson(body);
    if (!refusal.error.isEmpty())
        return m_failure.refused(refusal);
    m_deviceCode = body.value(QLatin1String("device_code")).toString().toUtf8();
    m_userCode = body.value(QLatin1String("user_code")).toString();
    // Some providers name it verification_url, after a draft of RFC 8628.
    m_verificationAddress = body.value(QLatin1String("verification_uri")).toString();
    if (m_verificationAddress.isEmpty())
        m_verificationAddress = body.value(QLatin1String("verification_url")).toString();
    if (m_deviceCode.isEmpty() || m_userCode.isEmpty() || m_verificationAddress.isEmpty())
        return m_failure.unusableAnswer(QUrl(endpoint).host(), answer.value.httpStatus,
                                        QStringLiteral("no device code, user code or address"));
    const qint64 expiresIn = body.value(QLatin1String("expires_in")).toInteger();
    m_lifetime = expiresIn > 0 ? std::chrono::milliseconds(std::chrono::seconds(expiresIn))
                               : m_options.signInLimit;
    const qint64 interval = body.value(QLatin1String("interval")).toInteger();
    m_interval = interval > 0 ? std::chrono::milliseconds(std::chrono::seconds(interval))
                              : std::chrono::milliseconds(defaultInterval);
    return Status::success();
}

form::WaitPrompt DeviceFlow::prompt() const
{
    form::WaitPrompt prompt;
    prompt.caption = QStringLiteral("Sign in to %1").arg(m_failure.who());
    prompt.text = QStringLiteral("Open this address on any device (a phone will do), enter the "
                                 "code below and sign in%1. The message is sent as soon as you "
                                 "have.")
                          .arg(m_user.isEmpty() ? QString() : QStringLiteral(" as ") + m_user);
    prompt.address = m_verificationAddress;
    prompt.code = m_userCode;
    return prompt;
}

form::Result<TokenSet> DeviceFlow::poll(TokenGrant &grant, const std::atomic<bool> &cancelled)
{
    const Clock::time_point expires = m_started + m_lifetime;
    for (;;) {
        const Clock::time_point next = Clock::now() + m_interval;
        while (Clock::now() < next) {
            if (cancelled.load())
                return m_failure.cancelled();
            if (Clock::now() >= expires)
                return m_failure.codeExpired(m_lifetime);
            std::this_thread::sleep_for(slice);
        }
        const form::Result<GrantAnswer> answer = grant.pollDevice(m_deviceCode, cancelled);
        if (!answer.ok())
            return answer.status;
        const QString &error = answer.value.refusal.error;
        if (error.isEmpty())
            return {Status::success(), answer.value.tokens};
        if (error == QLatin1String("slow_down"))
            m_interval += slowDownStep;
        else if (error != QLatin1String("authorization_pending"))
            // access_denied (the user declined), expired_token, or a refusal of the client.
            return m_failure.refused(answer.value.refusal);
    }
}

} // namespace orvane::mail::oauth::detail
