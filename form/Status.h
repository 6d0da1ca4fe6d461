#pragma once

#include <QString>

#include <concepts>
#include <type_traits>
#include <utility>

namespace orvane::form {

// What went wrong, for code that has to tell failures apart (tests, a later retry policy). One
// list for every layer: each uses the kinds that name its own failures.
enum class StatusKind {
    Ok,
    Internal, // a library failed in a way the user cannot act on
    Tls,      // the TLS handshake failed (the directory also files certificate problems here)

    // The message and the SMTP transport.
    Configuration,       // a transport field holds a value Send cannot use
    Address,             // From or To yields no valid address
    HeaderInjection,     // a line break in a value bound for a header or the envelope
    Attachment,          // the file cannot be opened, read, or changed while it was sent
    Resolve,             // the server name is unknown
    Connect,             // the connection was refused or could not be made
    Timeout,             // connecting or waiting for the server took too long
    Certificate,         // the server's certificate did not verify
    StartTlsUnavailable, // TLS was asked for and the server did not offer or refused STARTTLS
    AuthUnavailable,     // login was asked for and the server offers no usable mechanism
    AuthRejected,        // the server refused the user name or password
    AuthRequired,        // the server wants a login (or TLS first) before it takes mail
    SenderRefused,       // MAIL FROM refused
    RecipientRefused,    // RCPT TO refused
    SizeRefused,         // the message is larger than the server takes
    ConnectionLost,      // the server closed the connection or sent garbage
    DeliveryUnknown,     // lost after the whole message went out, before the server's answer
    ServerRefused,       // any other refusal by the SMTP server
    Aborted,             // the progress hook asked to stop

    // The directory's data-access objects and its LDAP provider.
    ProviderUnavailable,  // no provider of that name
    PropertyNotOffered,   // the provider has no property of that name
    InvalidValue,         // a property value of the wrong type or out of range
    InvalidState,         // an object used before it is ready (no provider, not open, ...)
    QuerySyntax,          // the command text does not parse
    NoSuchField,          // a field name that is not in the result
    CredentialsRefused,   // refused on our side or by the server (49, 53, empty password)
    StrongerAuthRequired, // the server wants a protected connection or a stronger bind
    NoSuchObject,         // the search base is not in the directory
    Unreachable,          // the directory server could not be reached, or went away
    TimeLimit,            // the server or the wait ran out of time
    ServerError,          // any other result from the LDAP server or libldap

    // The settings store.
    SettingsNotSaved, // what was written could not be made permanent

    // The OAuth sign-in that gets SMTP a bearer token.
    SignInConfiguration, // the provider's configuration cannot be used (no client ID, http://)
    SignInRefused,       // the provider refused the client, the scope, the grant or the consent
    SignInUnreachable,   // the provider could not be reached, or answered what it should not
    SignInExpired,       // the sign-in was not finished in time (the device code ran out)
    Cancelled,           // the user cancelled the sign-in: the status line says so, no box
    SignInNeeded,        // a sign-in needs the user, and the program was told not to ask
};

// The outcome of one call across a layer. No exception crosses a layer: a failure is this
// value, with the native code (CURLcode, SMTP reply code, LDAP result code, errno, QSettings
// status; 0 where there is none) and the text the user reads, in the library's or server's
// own words plus what to do where that is known.
struct Status
{
    StatusKind kind = StatusKind::Ok;
    long nativeCode = 0;
    QString description;

    bool ok() const { return kind == StatusKind::Ok; }

    static Status success() { return {}; }
    static Status failure(StatusKind kind, long nativeCode, QString description)
    {
        return {kind, nativeCode, std::move(description)};
    }
};

// A pointer, or a smart one: a result holding a null one holds no value.
template<typename T>
concept NullablePointer = std::is_pointer_v<T> || requires(const T &pointer)
{
    typename T::element_type;
    {
        pointer == nullptr
        } -> std::convertible_to<bool>;
};

// A value, or the failure that stands in for it: a result is ok() only with a value, so a
// caller that checked ok() reads the value without checking it again. A failed status
// converts to a result of any type, so that a failure passes up unchanged, and a success is
// built with its value:
//
//     auto rows = command.execute(-1);
//     if (!rows.ok())
//         return rows.status;
//     ...
//     return {Status::success(), std::move(rows.value)};
template<typename T>
struct Result
{
    Status status;
    T value{};

    Result(Status failure)
        : status(std::move(failure))
    {
        if (status.ok())
            status = missingValue();
    }
    Result(Status status, T value)
        : status(std::move(status))
        , value(std::move(value))
    {
        if constexpr (NullablePointer<T>) {
            if (this->status.ok() && !this->value)
                this->status = missingValue();
        }
    }

    bool ok() const { return status.ok(); }

private:
    // A success without its value is the program's own mistake: loud in a debug build, and
    // in a release build a failure the user sees rather than a null the caller trips over.
    static Status missingValue()
    {
        Q_ASSERT_X(false, "form::Result", "an ok result was made without a value");
        return Status::failure(StatusKind::Internal, 0,
                               QStringLiteral("A step of the program succeeded but its value "
                                              "was missing."));
    }
};

} // namespace orvane::form
