#pragma once

#include "ui/FormFields.h"

#include <functional>

namespace orvane::ui {

// Where a failure that escapes a handler is reported.
enum class FailureReport { MessageBox, StandardError };

// Runs one handler at the boundary between Qt and our code: an exception that escapes it
// is reported (in a box, or on standard error while the session is ending) and the program
// keeps running. Nothing propagates into Qt's event delivery.
void runGuarded(FormFields &form, const char *handler, const std::function<void()> &body,
                FailureReport report = FailureReport::MessageBox);

} // namespace orvane::ui
