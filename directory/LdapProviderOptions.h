#pragma once

#include "ui/NetworkWait.h"

#include <QString>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

namespace orvane::directory {

enum class TransportMode { Plain, Tls };

// Which transport a port in the path asks for.
using PortRule = std::function<TransportMode(int port)>;

// 636 is LDAP over TLS (ldaps); every other port is plain LDAP.
TransportMode defaultPortRule(int port);

// How the libldap-backed provider reaches servers. The program uses the defaults; tests hand
// in their own CA, short time-outs and a port rule that maps a test port to TLS.
struct LdapProviderOptions
{
    // PEM file of the certificate authorities to trust for LDAP over TLS; empty means the
    // system's trust store (as configured for libldap).
    QString caFile;
    // Longest wait for the TCP connection (and TLS handshake) to the server.
    std::chrono::milliseconds connectTimeout{30000};
    // When set, replaces the command's "Timeout" for the bind, the first answer and each page.
    std::optional<std::chrono::milliseconds> answerTimeout;
    PortRule portRule = defaultPortRule;
    // Where the connect and bind, the first answer and each further page are waited for.
    // None: on the calling thread.
    std::shared_ptr<ui::NetworkWait> wait;
};

} // namespace orvane::directory
