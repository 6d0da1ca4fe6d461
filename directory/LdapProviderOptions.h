#pragma once

#include "form/NetworkWait.h"

#include <QString>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

namespace orvane::directory {

enum class TransportMode { Plain, Tls };

// Which transport a port in the path asks for.
using PortRule = std::function<TransportMode(int port)>;

// 636 and 3269 are LDAP over TLS (ldaps); every other port is plain LDAP.
TransportMode defaultPortRule(int port);

// How the libldap-backed provider reaches servers. The program uses the defaults; tests hand
// in their own CA, short time-outs and a port rule that maps a test port to TLS.
struct LdapProviderOptions
{
    // PEM file of the certificate authorities to trust for LDAP over TLS and StartTLS; empty
    // means what libldap's configuration (ldap.conf) and the system's trust store trust.
    QString caFile;
    // Longest wait for the TCP connection (and TLS handshake) to the server.
    std::chrono::milliseconds connectTimeout{30000};
    // When set, replaces the command's "Timeout" for the bind, the first answer and each page.
    std::optional<std::chrono::milliseconds> answerTimeout;
    PortRule portRule = defaultPortRule;
    // Where the connect and bind, the first answer and each further page are waited for.
    // None: on the calling thread.
    std::shared_ptr<form::NetworkWait> wait;
};

} // namespace orvane::directory
