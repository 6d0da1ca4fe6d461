#pragma once

#include "form/FormFields.h"

#include <QString>

#include <functional>
#include <optional>

namespace orvane::ui {

// Where a failure that escapes a handler is reported.
enum class FailureReport { MessageBox, StandardError };

// Runs body and gives the description of an exception that escapes it, or nothing when none
// does: for a handler whose own error trap reports the failure in its own words.
std::optional<QString> failureOf(const std::function<void()> &body);

// Runs one handler at the boundary between Qt and our code: an exception that escapes it
// is reported (in a box, or on standard error while the session is ending) and the program
// keeps running. Nothing propagates into Qt's event delivery.
void runGuarded(form::FormFields &form, const char *handler, const std::function<void()> &body,
                FailureReport report = FailureReport::MessageBox);

} // namespace orvane::ui
