#pragma once

#include "directory/detail/LdapHandles.h"

#include <QByteArray>
#include <QString>

namespace orvane::directory::detail {

// The certificate authorities every TLS connection to a directory server trusts, as PEM text.
// Given a CA file (the provider's option, which tests hand in), that file alone. Otherwise
// the system's certificate store, the CA file or folder that ldap.conf names (the system's
// /etc/ldap/ldap.conf and the file LDAPCONF names, as libldap reads them) and the one the
// user's own ~/.ldaprc (or ~/ldaprc) names. An ldaprc in the current folder and the LDAPTLS_*
// variables are never read: a file that happens to lie in the folder the program is started
// from must not decide whom it trusts.
QByteArray trustedAuthorities(const QString &caFile);

// Gives the handle a TLS context of its own, built from nothing that libldap read from its
// configuration files or the environment: the server's certificate must verify against
// `authorities` and name the server, over TLS 1.2 or later. False where libldap cannot build
// it; its reason is then the handle's diagnostic message.
bool useOwnTlsContext(LDAP *ld, const QByteArray &authorities);

} // namespace orvane::directory::detail
