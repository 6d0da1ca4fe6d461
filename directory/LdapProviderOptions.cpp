#include "LdapProviderOptions.h"

namespace orvane::directory {

TransportMode defaultPortRule(int port)
{
    // 636 is LDAP over TLS, 3269 the global catalog over TLS; 389 and the global catalog's
    // 3268 are plain ports, upgraded with StartTLS where the server offers it.
    return port == 636 || port == 3269 ? TransportMode::Tls : TransportMode::Plain;
}

} // namespace orvane::directory
