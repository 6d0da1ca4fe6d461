#pragma once

#include "directory/DirectoryComponents.h"
#include "directory/LdapProviderOptions.h"

namespace orvane::directory {

// Connections and commands of the libldap-backed directory provider.
class LdapDirectoryComponents : public DirectoryComponents
{
public:
    explicit LdapDirectoryComponents(LdapProviderOptions options = {});

    Status createConnection(std::unique_ptr<Connection> &connection) override;
    Status createCommand(std::unique_ptr<Command> &command) override;

private:
    LdapProviderOptions m_options;
};

} // namespace orvane::directory
