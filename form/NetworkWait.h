#pragma once

#include <QtGlobal>

#include <functional>
#include <memory>
#include <optional>

namespace orvane::form {

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
