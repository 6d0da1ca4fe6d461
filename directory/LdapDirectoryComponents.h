#pragma once

#include "directory/DirectoryComponents.h"
#include "directory/LdapProviderOptions.h"

namespace orvane::directory {

// Connections and commands of the libldap-backed directory provider.
class LdapDirectoryComponents : public DirectoryComponents
{
public:
    explicit LdapDirectoryComponents(LdapProviderOptions options = {});

    form::Result<std::unique_ptr<Connection>> createConnection() override;
    form::Result<std::unique_ptr<Command>> createCommand() override;

private:
    LdapProviderOptions m_options;
};

} // namespace orvane::directory
