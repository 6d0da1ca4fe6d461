#include "LdapDirectoryComponents.h"

#include "LdapCommand.h"
#include "LdapConnection.h"

namespace orvane::directory {

TransportMode defaultPortRule(int port)
{
    // 636 is LDAP over TLS, 3269 the global catalog over TLS; 389 and the global catalog's
    // 3268 are plain ports, upgraded with StartTLS where the server offers it.
    return port == 636 || port == 3269 ? TransportMode::Tls : TransportMode::Plain;
}

LdapDirectoryComponents::LdapDirectoryComponents(LdapProviderOptions options)
    : m_options(std::move(options))
{}

Status LdapDirectoryComponents::createConnection(std::unique_ptr<Connection> &connection)
{
    connection = std::make_unique<LdapConnection>(m_options);
    return Status::success();
}

Status LdapDirectoryComponents::createCommand(std::unique_ptr<Command> &command)
{
    command = std::make_unique<LdapCommand>();
    return Status::success();
}

} // namespace orvane::directory
