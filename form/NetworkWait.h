#pragma once

#include <QString>
#include <QtGlobal>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>

namespace orvane::form {

// What the user reads while a wait needs them elsewhere (signing in in a browser, or typing a
// code on another device): a caption, what to do, an address to open and a code to type there.
struct WaitPrompt
{
    QString caption;
    QString text;
    QString address; // shown as selectable text; empty: none
    QString code;    // shown as selectable text with a button that copies it; empty: none
};

// How a component waits on the network. A component hands the blocking part of its work
// (a connect, a bind, an upload, a page of results) to run(), which returns once that work
// has finished, with any exception it threw. This default runs the work at once on the
// calling thread, so handler tests and programs without a window behave as they always did.
// The window's implementation runs the work on a worker thread and keeps painting meanwhile.
class NetworkWait
{
public:
    virtual ~NetworkWait() = default;

    virtual void run(const std::function<void()> &work) { work(); }

    // Runs work as run() does while `meanwhile` runs on the calling thread, so that the
    // caller's own work on what the last wait brought overlaps with the next one; returns once
    // both have finished. This default runs the one after the other.
    virtual void runAlongside(const std::function<void()> &work,
                              const std::function<void()> &meanwhile)
    {
        meanwhile();
        run(work);
    }

    // Runs work as run() does while a box shows `prompt` with a Cancel button. Cancel, or a
    // close of the box, sets `cancelled`, which the work polls to end soon after; the box goes
    // when the work has ended. This default runs the work at once, with nothing to cancel it.
    virtual void runPrompted(const WaitPrompt &prompt,
                             const std::function<void(const std::atomic<bool> &cancelled)> &work)
    {
        Q_UNUSED(prompt)
        const std::atomic<bool> never{false};
        work(never);
    }

    // How far an upload is, called from whichever thread runs the work, often (every few
    // kilobytes): an implementation must be cheap and thread-safe here.
    virtual void uploaded(qint64 sent, qint64 total)
    {
        Q_UNUSED(sent)
        Q_UNUSED(total)
    }
};

// Runs work through wait (or at once when there is none) and returns what it returned.
template<class Work>
auto waitFor(const std::shared_ptr<NetworkWait> &wait, Work &&work) -> decltype(work())
{
    if (!wait)
        return work();
    std::optional<decltype(work())> result;
    wait->run([&] { result.emplace(work()); });
    return std::move(*result);
}

// The same, with `meanwhile` run on the calling thread while the work runs (see runAlongside).
template<class Work>
auto waitFor(const std::shared_ptr<NetworkWait> &wait, Work &&work,
             const std::function<void()> &meanwhile) -> decltype(work())
{
    if (!wait) {
        meanwhile();
        return work();
    }
    std::optional<decltype(work())> result;
    wait->runAlongside([&] { result.emplace(work()); }, meanwhile);
    return std::move(*result);
}

} // namespace orvane::form
