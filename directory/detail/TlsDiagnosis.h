#pragma once

#include <QByteArray>
#include <QString>

#include <chrono>

namespace orvane::directory::detail {

// Why the certificate of the directory server at host:port fails verification, in words a
// user can act on ("its certificate expired on ..."), or an empty text when it verifies, or
// cannot be read. libldap says no more than "Connect error" for any failed handshake, so this
// opens a connection of its own (with StartTLS first where startTls is set), reads the
// server's certificate chain without judging it, and then checks the chain against
// `authorities` (the PEM text the real connection trusted) and the name the way libldap
// does. A reason is named only when that check finds it; it never binds.
QString certificateProblem(const QString &host, int port, bool startTls,
                           const QByteArray &authorities, std::chrono::milliseconds timeout);

// The name libldap checks a certificate against for host: for "localhost", this machine's
// fully qualified name.
QString nameCheckedFor(const QString &host);

} // namespace orvane::directory::detail
