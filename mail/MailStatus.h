#pragma once

#include <QByteArray>
#include <QString>

#include <utility>

namespace orvane::mail {

// What went wrong, for code that has to tell failures apart (tests, a later retry policy).
enum class FailureKind {
    None,
    Configuration,       // a transport field holds a value Send cannot use
    Address,             // From or To yields no valid address
    HeaderInjection,     // a line break in a value bound for a header or the envelope
    Attachment,          // the file cannot be opened, read, or changed while it was sent
    Resolve,             // the server name is unknown
    Connect,             // the connection was refused or could not be made
    Timeout,             // connecting or waiting for the server took too long
    Tls,                 // the TLS handshake failed
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
    ServerRefused,       // any other refusal by the server
    Aborted,             // the progress hook asked to stop
    Internal,            // the library failed in a way the user cannot act on
};

// The outcome of one component call. No exception crosses the component layer: a failure is
// this value, with the native code (CURLcode, SMTP reply code, errno) and the text the user
// reads, in the library's or server's own words plus what to do where that is known.
class MailStatus
{
public:
    MailStatus() = default;

    static MailStatus success() { return {}; }
    static MailStatus failure(FailureKind kind, long nativeCode, QString description)
    {
        MailStatus status;
        status.m_kind = kind;
        status.m_nativeCode = nativeCode;
        status.m_description = std::move(description);
        return status;
    }

    bool ok() const { return m_kind == FailureKind::None; }
    FailureKind kind() const { return m_kind; }
    long nativeCode() const { return m_nativeCode; }
    const QString &description() const { return m_description; }

    // Removes a secret, and its base64 form, that a server might have echoed back.
    void redact(const QString &secret);
    // Removes the base64 form of raw bytes, e.g. a SASL PLAIN token (RFC 4616).
    void redactEncoded(const QByteArray &raw);

private:
    FailureKind m_kind = FailureKind::None;
    long m_nativeCode = 0;
    QString m_description;
};

// A status with a value that is only meaningful when the status is ok().
template<typename T>
struct MailResult
{
    MailStatus status;
    T value{};
};

} // namespace orvane::mail
