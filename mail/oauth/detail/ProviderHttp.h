#pragma once

#include "form/Status.h"
#include "mail/oauth/SignInOptions.h"
#include "mail/oauth/detail/ProviderFailure.h"

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QPair>
#include <QString>
#include <QUrl>

#include <atomic>

namespace orvane::mail::oauth::detail {

// What a provider answered: the HTTP status and the JSON object of the body.
struct ProviderAnswer
{
    long httpStatus = 0;
    QJsonObject body;
};

using FormFields = QList<QPair<QString, QString>>;

// The HTTP requests of the sign-in over libcurl: HTTPS with TLS 1.2 or later and the
// certificate checked against the system's trust store (and the CA file of the options), no
// redirect followed, a cap on the size of an answer, the time-outs of the options, and an end
// as soon as `cancelled` is set. An answer that is not a JSON object is a failure.
class ProviderHttp
{
public:
    ProviderHttp(const SignInOptions &options, const ProviderFailure &failure);

    // Whether the sign-in may talk to `address` at all: https://, or http:// to the loopback
    // address only. RFC 8252 section 8.3 keeps plain http for the loopback redirect, where the
    // traffic never leaves the machine; a token or code anywhere else travels encrypted.
    static bool allowedAddress(const QUrl &address);
    // The same as a status for the configuration's `what` ("token endpoint").
    form::Status checkAddress(const QString &what, const QString &address) const;

    form::Result<ProviderAnswer> get(const QString &address, const std::atomic<bool> &cancelled);
    // application/x-www-form-urlencoded (RFC 6749 appendix B).
    form::Result<ProviderAnswer> post(const QString &address, const FormFields &fields,
                                      const std::atomic<bool> &cancelled);

    // More than any discovery document or token answer needs (Microsoft's and Google's are a
    // few KB); a larger answer is not the provider's.
    static constexpr qint64 answerLimit = 1024 * 1024;

private:
    form::Result<ProviderAnswer> perform(const QString &address, const QByteArray *form,
                                         const std::atomic<bool> &cancelled);

    const SignInOptions &m_options;
    const ProviderFailure &m_failure;
};

} // namespace orvane::mail::oauth::detail
