#include "ExitCode.h"

#include <sysexits.h>

namespace orvane::send {

using form::StatusKind;

namespace {

// Failures that carry the SMTP server's reply code, where a 4xx one means the same may work
// later (RFC 5321 section 4.2.1) whatever was refused.
bool smtpReply(StatusKind kind)
{
    switch (kind) {
    case StatusKind::StartTlsUnavailable:
    case StatusKind::AuthRejected:
    case StatusKind::AuthRequired:
    case StatusKind::SenderRefused:
    case StatusKind::RecipientRefused:
    case StatusKind::SizeRefused:
    case StatusKind::ServerRefused:
        return true;
    default:
        return false;
    }
}

} // namespace

int exitCodeFor(const form::Status &status)
{
    if (smtpReply(status.kind) && status.nativeCode >= 400 && status.nativeCode < 500)
        return EX_TEMPFAIL;
    switch (status.kind) {
    case StatusKind::Ok:
        return EX_OK;
    case StatusKind::Address:
    case StatusKind::HeaderInjection:
    case StatusKind::SizeRefused:
        return EX_DATAERR;
    case StatusKind::Attachment:
        return EX_NOINPUT;
    case StatusKind::RecipientRefused:
        return EX_NOUSER;
    case StatusKind::Resolve:
        return EX_NOHOST;
    case StatusKind::ServerRefused:
    case StatusKind::StartTlsUnavailable:
    case StatusKind::AuthUnavailable:
        return EX_UNAVAILABLE;
    case StatusKind::Connect:
    case StatusKind::Timeout:
    case StatusKind::ConnectionLost:
    case StatusKind::DeliveryUnknown:
    case StatusKind::SignInUnreachable:
        return EX_TEMPFAIL;
    case StatusKind::AuthRejected:
    case StatusKind::AuthRequired:
    case StatusKind::SenderRefused:
    case StatusKind::SignInRefused:
    case StatusKind::SignInExpired:
    case StatusKind::SignInNeeded:
    case StatusKind::Cancelled:
        return EX_NOPERM;
    case StatusKind::Configuration:
    case StatusKind::Tls:
    case StatusKind::Certificate:
    case StatusKind::SignInConfiguration:
        return EX_CONFIG;
    default:
        return EX_SOFTWARE;
    }
}

} // namespace orvane::send
