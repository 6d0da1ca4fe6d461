#include "HandlerGuard.h"

#include <cstdio>
#include <exception>

namespace orvane::ui {

using form::FormFields;

namespace {

void report(FormFields &form, const QString &text, FailureReport where)
{
    if (where == FailureReport::StandardError) {
        std::fprintf(stderr, "orvane: %s\n", qPrintable(text));
        std::fflush(stderr);
        return;
    }
    try {
        form.messageBox(text);
    } catch (...) {
        // The box itself failed: standard error is all that is left.
        std::fprintf(stderr, "orvane: %s\n", qPrintable(text));
    }
}

} // namespace

std::optional<QString> failureOf(const std::function<void()> &body)
{
    try {
        body();
        return std::nullopt;
    } catch (const std::exception &e) {
        return QString::fromLocal8Bit(e.what());
    } catch (...) {
        return QStringLiteral("an unknown error");
    }
}

void runGuarded(FormFields &form, const char *handler, const std::function<void()> &body,
                FailureReport where)
{
    const std::optional<QString> failure = failureOf(body);
    if (!failure)
        return;
    report(form,
           QStringLiteral("%1 failed: %2\nThe program goes on running.")
                   .arg(QString::fromLatin1(handler), *failure),
           where);
}

} // namespace orvane::ui
