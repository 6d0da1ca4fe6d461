#include "BrowserFlow.h"

#include <QUrl>

#include <algorithm>

namespace orvane::mail::oauth::detail {

using form::Status;

BrowserFlow::BrowserFlow(const Provider &provider, const QString &user,
                         const SignInOptions &options, const ProviderFailure &failure)
    : m_provider(provider)
    , m_user(user)
    , m_options(options)
    , m_failure(failure)
    , m_state(Pkce::randomState())
    , m_listener(failure)
{}

Status BrowserFlow::listen()
{
    return m_listener.listen();
}

QString BrowserFlow::authorizationAddress(const QString &endpoint) const
{
    QList<QPair<QString, QString>> parameters = {
            {QStringLiteral("response_type"), QStringLiteral("code")},
            {QStringLiteral("client_id"), m_provider.clientId},
            {QStringLiteral("redirect_uri"), m_listener.redirectUri()},
            {QStringLiteral("scope"), m_provider.scope},
            {QStringLiteral("state"), QString::fromLatin1(m_state)},
            {QStringLiteral("code_challenge"), QString::fromLatin1(m_pkce.challenge())},
            {QStringLiteral("code_challenge_method"), QString::fromLatin1(Pkce::method())},
    };
    // The account to preselect, so the user need not pick or type it (OpenID Connect Core
    // section 3.1.2.1).
    if (!m_user.isEmpty())
        parameters.append({QStringLiteral("login_hint"), m_user});
    // The provider's own, unless they would repeat one of ours: a parameter given twice makes
    // the request invalid (RFC 6749 section 3.1).
    const qsizetype own = parameters.size();
    for (const auto &extra : m_provider.authorizationParameters) {
        const bool ours = std::any_of(parameters.cbegin(), parameters.cbegin() + own,
                                      [&](const auto &p) { return p.first == extra.first; });
        if (!ours)
            parameters.append(extra);
    }
    // Encoded by hand as the form encoding has it: QUrlQuery would leave a '+' (in a login
    // hint, say) as it is, and the provider would read it as a space.
    QByteArray query;
    for (const auto &[name, value] : parameters) {
        if (!query.isEmpty())
            query += '&';
        query += QUrl::toPercentEncoding(name) + '=' + QUrl::toPercentEncoding(value);
    }
    return endpoint + (endpoint.contains(u'?') ? u'&' : u'?') + QString::fromLatin1(query);
}

form::WaitPrompt BrowserFlow::prompt(const QString &address) const
{
    form::WaitPrompt prompt;
    prompt.caption = QStringLiteral("Sign in to %1").arg(m_failure.who());
    prompt.text = QStringLiteral("Sign in%1 in the browser window that has opened; the message "
                                 "is sent as soon as you have. If no browser window appeared, "
                                 "open this address in your browser:")
                          .arg(m_user.isEmpty() ? QString() : QStringLiteral(" as ") + m_user);
    prompt.address = address;
    return prompt;
}

form::Result<TokenSet> BrowserFlow::finish(TokenGrant &grant, const std::atomic<bool> &cancelled)
{
    const auto deadline = LoopbackListener::Clock::now() + m_options.signInLimit;
    const form::Result<QByteArray> code
            = m_listener.waitForCode(m_state, deadline, m_options.signInLimit, cancelled);
    if (!code.ok())
        return code.status;
    const form::Result<GrantAnswer> answer = grant.exchangeCode(
            code.value, m_listener.redirectUri(), m_pkce.verifier(), cancelled);
    if (!answer.ok())
        return answer.status;
    if (!answer.value.refusal.error.isEmpty())
        return m_failure.refused(answer.value.refusal);
    return {Status::success(), answer.value.tokens};
}

} // namespace orvane::mail::oauth::detail
