#include "MemoryTokenStore.h"

namespace orvane::mail::oauth {

using form::Status;

form::Result<std::optional<QByteArray>> MemoryTokenStore::read(const QString &key)
{
    const std::lock_guard lock(m_mutex);
    const auto found = m_values.constFind(key);
    if (found == m_values.constEnd())
        return {Status::success(), std::nullopt};
    return {Status::success(), *found};
}

Status MemoryTokenStore::write(const QString &key, const QByteArray &value)
{
    const std::lock_guard lock(m_mutex);
    m_values.insert(key, value);
    return Status::success();
}

Status MemoryTokenStore::remove(const QString &key)
{
    const std::lock_guard lock(m_mutex);
    m_values.remove(key);
    return Status::success();
}

} // namespace orvane::mail::oauth
