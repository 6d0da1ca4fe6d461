#include "ProviderFailure.h"

#include "mail/Redaction.h"

#include <QUrl>

namespace orvane::mail::oauth::detail {

using form::Status;
using form::StatusKind;

namespace {

// What to do about an error code of RFC 6749 sections 4.1.2.1 and 5.2 and RFC 8628 section
// 3.5. Each text follows the provider's own words; %1 is the client ID, %2 the scope.
struct Advice
{
    const char *errors; // the codes it answers, separated by spaces
    StatusKind kind;
    const char *text;
};

constexpr Advice adviceTable[] = {
        {"invalid_client", StatusKind::SignInRefused,
         "The provider does not know the client ID \"%1\", or the application registered under "
         "it may not sign in this way (public client flows may be turned off for it): the "
         "administrator must check the application's registration."},
        {"unauthorized_client", StatusKind::SignInRefused,
         "The application registered under the client ID \"%1\" may not use this way of signing "
         "in (public client flows, or this flow, are not allowed for it): the administrator must "
         "check the application's registration."},
        {"invalid_scope", StatusKind::SignInRefused,
         "The application may not ask for the scope \"%2\": the administrator must check the "
         "scope in orvane's configuration and the permissions of the application's "
         "registration."},
        {"consent_required interaction_required", StatusKind::SignInRefused,
         "An administrator must grant consent for the application (client ID \"%1\") before "
         "anyone can send mail with it."},
        {"access_denied", StatusKind::SignInRefused,
         "The sign-in was declined, so orvane may not send for you. To send, press Send again "
         "and allow the access."},
        {"expired_token", StatusKind::SignInExpired,
         "The code ran out before the sign-in was finished: press Send again and enter the new "
         "code sooner."},
        // Only a fresh sign-in's: a kept refresh token that is refused starts a new sign-in.
        {"invalid_grant", StatusKind::SignInRefused,
         "The provider does not let this user sign in to the application; a policy may block "
         "the user or the application: ask the administrator."},
        {"temporarily_unavailable server_error", StatusKind::SignInUnreachable,
         "The provider cannot sign anyone in at the moment: try again later."},
};

constexpr Advice otherError
        = {"", StatusKind::SignInRefused,
           "Ask the administrator to check orvane's sign-in configuration for this provider."};

const Advice &adviceFor(const ProviderError &answer)
{
    // Microsoft names missing admin consent in the description only, under its own code.
    if (answer.description.contains(QLatin1String("AADSTS65001")))
        return adviceTable[3];
    for (const Advice &advice : adviceTable)
        if (!answer.error.isEmpty()
            && QString::fromLatin1(advice.errors).split(u' ').contains(answer.error))
            return advice;
    return otherError;
}

// The advice with the client ID for %1 and the scope for %2, in one pass, so that neither
// value is read for a placeholder.
QString fillIn(const char *text, const QString &clientId, const QString &scope)
{
    const QString in = QString::fromLatin1(text);
    QString out;
    for (qsizetype i = 0; i < in.size(); ++i) {
        const bool placeholder
                = in[i] == u'%' && i + 1 < in.size() && (in[i + 1] == u'1' || in[i + 1] == u'2');
        if (!placeholder) {
            out += in[i];
            continue;
        }
        out += in[i + 1] == u'1' ? clientId : scope;
        ++i;
    }
    return out;
}

const QString notSent = QStringLiteral(" The message was not sent.");

// Short waits in seconds, the rest in whole minutes.
QString span(std::chrono::milliseconds waited)
{
    const qint64 seconds = (waited.count() + 500) / 1000;
    if (seconds < 120)
        return QStringLiteral("%1 seconds").arg(seconds);
    return QStringLiteral("%1 minutes").arg((seconds + 30) / 60);
}

} // namespace

ProviderError ProviderError::fromJson(const QJsonObject &body)
{
    return {body.value(QLatin1String("error")).toString(),
            body.value(QLatin1String("error_description")).toString()};
}

ProviderFailure::ProviderFailure(const Provider &provider)
    : m_who(!provider.name.isEmpty()     ? provider.name
            : !provider.issuer.isEmpty() ? QUrl(provider.issuer).host()
                                         : QUrl(provider.tokenEndpoint).host())
    , m_clientId(provider.clientId)
    , m_scope(provider.scope)
{}

Status ProviderFailure::fail(StatusKind kind, long code, const QString &text) const
{
    return Status::failure(kind, code, text + notSent);
}

Status ProviderFailure::refused(const ProviderError &answer) const
{
    const Advice &advice = adviceFor(answer);
    const QString words = answer.description.isEmpty()
                                  ? answer.error
                                  : answer.error + QStringLiteral(": ") + answer.description;
    return fail(advice.kind, 0,
                QStringLiteral("The sign-in provider %1 answered \"%2\". ").arg(m_who, words)
                        + fillIn(advice.text, m_clientId, m_scope));
}

Status ProviderFailure::noClientId() const
{
    return fail(StatusKind::SignInConfiguration, 0,
                QStringLiteral("No client ID is configured for the sign-in provider %1: the "
                               "administrator must register orvane as an application there and "
                               "enter its client ID in the configuration.")
                        .arg(m_who));
}

Status ProviderFailure::badAddress(const QString &what, const QString &address) const
{
    if (address.isEmpty())
        return fail(StatusKind::SignInConfiguration, 0,
                    QStringLiteral("The sign-in provider %1 has no %2 configured: the "
                                   "administrator must enter it, or the issuer address it is "
                                   "discovered from, in the configuration.")
                            .arg(m_who, what));
    if (QUrl(address).scheme() == QLatin1String("http"))
        return fail(StatusKind::SignInConfiguration, 0,
                    QStringLiteral("The %2 of the sign-in provider %1, \"%3\", is a plain "
                                   "http:// address. orvane takes http:// only for this computer "
                                   "itself (127.0.0.1 or ::1), so that no token crosses the "
                                   "network unencrypted: the administrator must enter its "
                                   "https:// address.")
                            .arg(m_who, what, address));
    return fail(StatusKind::SignInConfiguration, 0,
                QStringLiteral("The %2 of the sign-in provider %1, \"%3\", is not an https:// "
                               "address: the administrator must correct it in the "
                               "configuration.")
                        .arg(m_who, what, address));
}

Status ProviderFailure::notDiscovered(const QString &what, const QString &discoveryAddress) const
{
    return fail(StatusKind::SignInConfiguration, 0,
                QStringLiteral("The sign-in provider %1 names no %2 in its discovery document "
                               "(%3): the administrator must enter it in the configuration.")
                        .arg(m_who, what, discoveryAddress));
}

Status ProviderFailure::noBrowser() const
{
    return fail(StatusKind::SignInConfiguration, 0,
                QStringLiteral("No web browser could be started for the sign-in to %1, and the "
                               "provider offers no sign-in with a code on another device. Make "
                               "sure your desktop has a default web browser, then send again.")
                        .arg(m_who));
}

Status ProviderFailure::unreachable(const QString &host, long curlCode, const QString &words) const
{
    return fail(StatusKind::SignInUnreachable, curlCode,
                QStringLiteral("The sign-in provider %1 could not be reached at %2: %3. Check the "
                               "network connection, then send again; if this goes on, the "
                               "administrator must check the provider's address in the "
                               "configuration.")
                        .arg(m_who, host, words));
}

Status ProviderFailure::unusableAnswer(const QString &host, long httpStatus,
                                       const QString &why) const
{
    return fail(StatusKind::SignInUnreachable, httpStatus,
                QStringLiteral("The sign-in provider %1 at %2 answered with something that is not "
                               "a sign-in answer (HTTP %3, %4): the administrator must check the "
                               "provider's address in the configuration.")
                        .arg(m_who, host)
                        .arg(httpStatus)
                        .arg(why));
}

Status ProviderFailure::foreignRedirect() const
{
    return fail(StatusKind::SignInRefused, 0,
                QStringLiteral("An answer reached orvane's sign-in page in the browser that did "
                               "not come from this sign-in (its state did not match), so it was "
                               "not used. Press Send again to sign in to %1 anew.")
                        .arg(m_who));
}

Status ProviderFailure::strayRequest(const QString &requestLine) const
{
    return fail(StatusKind::SignInRefused, 0,
                QStringLiteral("Something other than the answer of the sign-in provider %1 "
                               "reached orvane's sign-in page in the browser (\"%2\"), so the "
                               "sign-in stopped. Press Send again to sign in anew.")
                        .arg(m_who, requestLine));
}

Status ProviderFailure::redirectWithoutCode() const
{
    return fail(StatusKind::SignInUnreachable, 0,
                QStringLiteral("The sign-in provider %1 sent the browser back with neither a "
                               "sign-in code nor an error. Press Send again to sign in anew.")
                        .arg(m_who));
}

Status ProviderFailure::timedOut(std::chrono::milliseconds waited) const
{
    return fail(StatusKind::SignInExpired, 0,
                QStringLiteral("The sign-in to %1 was not finished within %2. Press Send again, "
                               "and finish the sign-in in the browser sooner.")
                        .arg(m_who, span(waited)));
}

Status ProviderFailure::codeExpired(std::chrono::milliseconds waited) const
{
    return fail(StatusKind::SignInExpired, 0,
                QStringLiteral("The code for the sign-in to %1 ran out after %2, before the "
                               "sign-in was finished: press Send again and enter the new code "
                               "sooner.")
                        .arg(m_who, span(waited)));
}

Status ProviderFailure::cancelled() const
{
    return Status::failure(StatusKind::Cancelled, 0,
                           QStringLiteral("The sign-in to %1 was cancelled; the message was not "
                                          "sent.")
                                   .arg(m_who));
}

Status ProviderFailure::userNeeded(const QString &user) const
{
    return Status::failure(StatusKind::SignInNeeded, 0,
                           QStringLiteral("Sending as %1 needs a sign-in to %2, and none is kept "
                                          "for %1 that %2 still takes.")
                                   .arg(user, m_who));
}

void ProviderFailure::redact(Status &status, const QByteArrayList &secrets)
{
    for (const QByteArray &secret : secrets)
        mail::redact(status, QString::fromUtf8(secret));
}

} // namespace orvane::mail::oauth::detail
