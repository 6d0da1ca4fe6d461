#pragma once

#include "form/Status.h"

namespace orvane::send {

// The exit status (sysexits.h) for a failed send, so that a script can tell "try again later"
// (EX_TEMPFAIL: a 4xx reply, a time-out, a server out of reach) from what needs fixing.
int exitCodeFor(const form::Status &status);

} // namespace orvane::send
