#pragma once

#include "directory/Status.h"

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
    bool tls = false;
    // Set once the bind has succeeded: a connection that fails after it was lost, not
    // refused.
    bool bound = false;
};

// A failure in libldap's and the server's own words (ldap_err2string, the diagnostic
// message, the result code), with what to do where that is known. referrals are the URLs of
// a referral result (code 10).
Status ldapFailure(int rc, const QString &diagnostic, const QString &matchedDn,
                   const FailureContext &context, const QStringList &referrals = {});

// "10 seconds", "0.5 seconds".
QString secondsText(std::chrono::milliseconds duration);

} // namespace orvane::directory::detail
