#pragma once

#include "form/Status.h"
#include "mail/detail/SmtpDialogue.h"

#include <QString>

#include <chrono>

namespace orvane::mail::detail {

// Everything known about a failed libcurl SMTP transfer.
struct FailureContext
{
    int curlCode = 0;
    QString errorText; // libcurl's error buffer, or its text for the code
    QString host;
    int port = 0;
    bool implicitTls = false;
    bool startTls = false;
    bool connected = false;
    qint64 messageSize = 0;
    bool wholeMessageRead = false; // libcurl had every byte of the message
    // Measured, not configured: libcurl's connect time-out also covers the greeting, TLS and
    // login, and the stall time-out counts whole seconds, so which limit ends a wait, and after
    // how long, is only known afterwards.
    std::chrono::milliseconds elapsed{}; // from the start of the send to the failure
    // Since the last byte sent or received, or since the connection came up if none was (never
    // connected: the elapsed time).
    std::chrono::milliseconds idle{};
    const SmtpDialogue *dialogue = nullptr;
    bool bearer = false; // the login was an OAuth access token, not a password
};

// The description the user reads: what happened in the library's or the server's own words
// (with the reply code) and what to do about it.
form::Status describeSmtpFailure(const FailureContext &context);

// Stopped by us before MAIL FROM because the server offered no login.
form::Status describeNoLoginOffered(const FailureContext &context);

} // namespace orvane::mail::detail
