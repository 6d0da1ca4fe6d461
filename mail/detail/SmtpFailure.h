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
    std::chrono::milliseconds connectTimeout{};
    std::chrono::milliseconds stallTimeout{};
    const SmtpDialogue *dialogue = nullptr;
};

// The description the user reads: what happened in the library's or the server's own words
// (with the reply code) and what to do about it.
form::Status describeSmtpFailure(const FailureContext &context);

// Stopped by us before MAIL FROM because the server offered no login.
form::Status describeNoLoginOffered(const FailureContext &context);

} // namespace orvane::mail::detail
