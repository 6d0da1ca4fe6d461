#pragma once

#include "mail/oauth/TokenStore.h"

#include <QString>

#include <chrono>
#include <functional>
#include <mutex>

namespace QKeychain {
class Job;
}

namespace orvane::mail::oauth {

// The desktop's secret store (the Secret Service of GNOME Keyring or KWallet, through
// QtKeychain), under the service name "orvane". QtKeychain's jobs finish by callbacks on an
// event loop and are queued one at a time by a process-wide executor that lives in the thread
// of the first job; so every job runs on one thread of the store's own that lives as long as
// the application, and a caller on any thread waits for it without an event loop of its own.
class KeychainTokenStore : public TokenStore
{
public:
    // Each call gives up after `bound`: a Secret Service that D-Bus is still trying to start,
    // or one that waits for a prompt nobody sees, must not hold up a Send for minutes. Long
    // enough, though, for a person to answer the keyring's own prompt (a new keyring's
    // password, typed twice). After such a time-out the store is not asked again in this run,
    // as its job is still queued ahead of any new one.
    explicit KeychainTokenStore(std::chrono::milliseconds bound = std::chrono::seconds(30));

    form::Result<std::optional<QByteArray>> read(const QString &key) override;
    form::Status write(const QString &key, const QByteArray &value) override;
    form::Status remove(const QString &key) override;

    static QString serviceName();

private:
    struct Outcome;
    using MakeJob = std::function<QKeychain::Job *()>;

    // Runs the job made by `make` on the store's thread and waits for it, at most the bound;
    // unfinished when it did not answer in time, or the store is no longer asked.
    Outcome perform(const MakeJob &make);
    form::Status unusable(const QString &why);

    const std::chrono::milliseconds m_bound;
    std::mutex m_mutex;
    QString m_stuck; // why the store is no longer asked; empty while it is
};

} // namespace orvane::mail::oauth
