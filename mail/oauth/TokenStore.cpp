#include "TokenStore.h"

#include <QUrl>

namespace orvane::mail::oauth {

QString TokenStore::keyFor(const QString &issuer, const QString &clientId, const QString &user)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(issuer) + ' '
                               + QUrl::toPercentEncoding(clientId) + ' '
                               + QUrl::toPercentEncoding(user));
}

} // namespace orvane::mail::oauth
