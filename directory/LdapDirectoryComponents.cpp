#include "LdapDirectoryComponents.h"

#include "LdapCommand.h"
#include "LdapConnection.h"

namespace orvane::directory {

using form::Result;
using form::Status;

TransportMode defaultPortRule(int port)
{
    // 636 is LDAP over TLS, 3269 the global catalog over TLS; 389 and the global catalog's
    // 3268 are plain ports, upgraded with StartTLS where the server offers it.
    return port == 636 || port == 3269 ? TransportMode::Tls : TransportMode::Plain;
}

LdapDirectoryComponents::LdapDirectoryComponents(LdapProviderOptions options)
    : m_options(std::move(options))
{}

Result<std::unique_ptr<Connection>> LdapDirectoryComponents::createConnection()
{
    return {Status::success(), std::make_unique<LdapConnection>(m_options)};
}

Result<std::unique_ptr<Command>> LdapDirectoryComponents::createCommand()
{
    return {Status::success(), std::make_unique<LdapCommand>()};
}

} // namespace orvane::directory
