#pragma once

#include "form/Status.h"

#include <QString>
#include <QStringList>

#include <chrono>

namespace orvane::directory::detail {

// What a failure description may name besides the library's words: never the password.
struct FailureContext
{
    QString host;
    int port = 0;
    QString baseDn;
    std::chrono::milliseconds timeout{0};
    // The connection is encrypted: TLS from the first byte, or after StartTLS.
    bool tls = false;
    // Set once the bind has succeeded: a connection that fails after it was lost, not
    // refused.
    bool bound = false;
    // The server took StartTLS (or lists it in its root DSE).
    bool startTlsOffered = false;
    // The bind was anonymous: no user name, and no Kerberos ticket.
    bool anonymous = false;
};

// A failure in libldap's and the server's own words (ldap_err2string, the diagnostic
// message, the result code), with what to do where that is known. referrals are the URLs of
// a referral result (code 10).
form::Status ldapFailure(int rc, const QString &diagnostic, const QString &matchedDn,
                         const FailureContext &context, const QStringList &referrals = {});

// A TLS handshake (LDAPS or StartTLS) that failed for the reason given, in words.
form::Status tlsFailure(const QString &reason, const FailureContext &context);

// A Kerberos (SASL GSSAPI) bind that failed with rc and the SASL library's diagnostic.
form::Status kerberosFailure(int rc, const QString &diagnostic, const FailureContext &context);

// Whether a failed GSSAPI bind failed only because the user holds no Kerberos ticket (or the
// mechanism is not installed), so that an anonymous bind may take its place.
bool kerberosUnavailable(const QString &diagnostic);

// "10 seconds", "0.5 seconds".
QString secondsText(std::chrono::milliseconds duration);

} // namespace orvane::directory::detail
