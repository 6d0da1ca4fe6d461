#pragma once

#include "directory/LdapProviderOptions.h"

#include <QByteArray>
#include <QString>

namespace orvane::directory::detail {

// Why the server at uri fails TLS verification for host, in words a user can act on ("its
// certificate expired on ..."), or an empty text when that cannot be found out. libldap says
// no more than "Connect error" for any failed handshake, so this opens a connection of its own
// that accepts any certificate, reads the server's certificate (after StartTLS where startTls
// is set) and ends; it never binds.
QString certificateProblem(const QByteArray &uri, bool startTls, const QString &host,
                           const LdapProviderOptions &options);

} // namespace orvane::directory::detail
