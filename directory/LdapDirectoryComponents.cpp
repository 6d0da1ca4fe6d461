#include "LdapDirectoryComponents.h"

#include "LdapCommand.h"
#include "LdapConnection.h"

namespace orvane::directory {

using form::Result;
using form::Status;

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
