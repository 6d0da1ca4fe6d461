#pragma once

#include "form/Status.h"
#include "mail/oauth/Provider.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QJsonObject>
#include <QString>

#include <chrono>

namespace orvane::mail::oauth::detail {

// An error a provider answered with: from the token or device endpoint (RFC 6749 section 5.2,
// RFC 8628 section 3.5) or in the redirect (RFC 6749 section 4.1.2.1).
struct ProviderError
{
    QString error;
    QString description; // error_description; may be empty

    static ProviderError fromJson(const QJsonObject &body);
};

// The texts of every failed sign-in: the provider's own words first (or libcurl's, for a
// provider that could not be reached), then what to do; each ends by saying that the message
// was not sent. Nothing here is given a token, code, verifier or secret to show.
class ProviderFailure
{
public:
    explicit ProviderFailure(const Provider &provider);

    // The provider refused, with an error code of its own (a kept refresh token that is
    // refused never comes here: the sign-in starts again instead).
    form::Status refused(const ProviderError &answer) const;

    // Configuration.
    form::Status noClientId() const;
    form::Status badAddress(const QString &what, const QString &address) const;
    form::Status notDiscovered(const QString &what, const QString &discoveryAddress) const;
    form::Status noBrowser() const;

    // The provider's HTTP answers.
    form::Status unreachable(const QString &host, long curlCode, const QString &words) const;
    form::Status unusableAnswer(const QString &host, long httpStatus, const QString &why) const;

    // The browser's redirect to the loopback page.
    form::Status foreignRedirect() const;
    form::Status strayRequest(const QString &requestLine) const;
    form::Status redirectWithoutCode() const;

    // The user.
    form::Status timedOut(std::chrono::milliseconds waited) const;
    form::Status codeExpired(std::chrono::milliseconds waited) const;
    form::Status cancelled() const;
    form::Status userNeeded(const QString &user) const;

    // Removes each secret a provider might have echoed into the description.
    static void redact(form::Status &status, const QByteArrayList &secrets);

    // The provider as the user knows it: its configuration name, else the issuer's host.
    QString who() const { return m_who; }

private:
    form::Status fail(form::StatusKind kind, long code, const QString &text) const;

    QString m_who;
    QString m_clientId;
    QString m_scope;
};

} // namespace orvane::mail::oauth::detail
