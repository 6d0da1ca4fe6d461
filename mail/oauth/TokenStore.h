#pragma once

#include "form/Status.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace orvane::mail::oauth {

// Where the refresh tokens of the sign-in are kept between runs. Every call may come from the
// user-interface thread or from the worker thread of a network wait, and returns in bounded
// time.
class TokenStore
{
public:
    virtual ~TokenStore() = default;

    // The value kept under key; nullopt when none is. A failure means the store cannot be used
    // at all (no secret service, a locked or refused keyring), not that the key is unknown.
    virtual form::Result<std::optional<QByteArray>> read(const QString &key) = 0;
    virtual form::Status write(const QString &key, const QByteArray &value) = 0;
    // Removing a key that is not there succeeds.
    virtual form::Status remove(const QString &key) = 0;

    // The key of one user's sign-in with one registered application at one provider: a
    // refresh token belongs to exactly that triple (RFC 6749 section 6). Each part is
    // percent-encoded, so no two triples share a key.
    static QString keyFor(const QString &issuer, const QString &clientId, const QString &user);
};

} // namespace orvane::mail::oauth
