#pragma once

#include "form/NetworkWait.h"

#include <atomic>

namespace orvane::form {

// Stands in for a wait that exists only later: the components are made before the window
// that does their waiting. Until a target is set, and once it is cleared, work runs at once.
// The target changes only on the user-interface thread and never during a wait.
class NetworkWaitRelay : public NetworkWait
{
public:
    void setTarget(NetworkWait *target) { m_target.store(target); }

    void run(const std::function<void()> &work) override
    {
        if (NetworkWait *target = m_target.load())
            target->run(work);
        else
            work();
    }

    void runAlongside(const std::function<void()> &work,
                      const std::function<void()> &meanwhile) override
    {
        if (NetworkWait *target = m_target.load())
            target->runAlongside(work, meanwhile);
        else
            NetworkWait::runAlongside(work, meanwhile);
    }

    void runPrompted(const WaitPrompt &prompt,
                     const std::function<void(const std::atomic<bool> &cancelled)> &work) override
    {
        if (NetworkWait *target = m_target.load())
            target->runPrompted(prompt, work);
        else
            NetworkWait::runPrompted(prompt, work);
    }

    void uploaded(qint64 sent, qint64 total) override
    {
        if (NetworkWait *target = m_target.load())
            target->uploaded(sent, total);
    }

private:
    std::atomic<NetworkWait *> m_target{nullptr};
};

} // namespace orvane::form
