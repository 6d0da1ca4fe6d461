#pragma once

#include <QString>

namespace orvane::directory {

// What went wrong, in a form a caller (or a test) can branch on. The description is what the
// user reads; nativeCode is the LDAP result code where the failure came from the server or
// libldap, 0 otherwise.
enum class StatusKind {
    Ok,
    ProviderUnavailable, // no provider of that name
    PropertyNotOffered,  // the provider has no property of that name
    InvalidValue,        // a property value of the wrong type or out of range
    InvalidState,        // an object used before it is ready (no provider, not open, ...)
    QuerySyntax,         // the command text does not parse
    NoSuchField,         // a field name that is not in the result
    CredentialsRefused,  // refused on our side or by the server (49, 53, empty password)
    StrongerAuthRequired,
    NoSuchObject,
    Unreachable,
    TimeLimit,
    Tls,
    ServerError, // any other result from the server or libldap
    Internal,
};

struct Status
{
    StatusKind kind = StatusKind::Ok;
    int nativeCode = 0;
    QString description;

    bool ok() const { return kind == StatusKind::Ok; }

    static Status success() { return {}; }
    static Status failure(StatusKind kind, const QString &description, int nativeCode = 0)
    {
        return {kind, nativeCode, description};
    }
};

} // namespace orvane::directory
