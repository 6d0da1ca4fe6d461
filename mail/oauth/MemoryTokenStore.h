#pragma once

#include "mail/oauth/TokenStore.h"

#include <QHash>

#include <mutex>

namespace orvane::mail::oauth {

// Keeps tokens for this run only: the stand-in where the desktop has no secret store, and the
// store of tests.
class MemoryTokenStore : public TokenStore
{
public:
    form::Result<std::optional<QByteArray>> read(const QString &key) override;
    form::Status write(const QString &key, const QByteArray &value) override;
    form::Status remove(const QString &key) override;

private:
    std::mutex m_mutex;
    QHash<QString, QByteArray> m_values;
};

} // namespace orvane::mail::oauth
