#pragma once

#include "form/NetworkWait.h"

#include <cstdio>
#include <mutex>

namespace orvane::send {

// The network wait of a program in a terminal: the work runs on the calling thread, a sign-in's
// prompt is printed, and with `progressBar` a large upload draws a bar on `err`, one line that
// finish() clears.
class TerminalWait : public form::NetworkWait
{
public:
    TerminalWait(std::FILE *err, bool progressBar);

    void runPrompted(const form::WaitPrompt &prompt,
                     const std::function<void(const std::atomic<bool> &cancelled)> &work) override;
    void uploaded(qint64 sent, qint64 total) override;

    // Clears the bar, if one was drawn.
    void finish();

    // Messages this large get a bar (a smaller one is gone before a bar is read).
    static constexpr qint64 barFrom = qint64(1) << 20;

private:
    std::FILE *m_err;
    const bool m_progressBar;
    std::mutex m_mutex;
    int m_shown = -1; // the per mille last drawn; -1: no bar on the screen
};

} // namespace orvane::send
