#pragma once

#include "directory/Connection.h"
#include "directory/LdapProviderOptions.h"
#include "directory/PropertyBag.h"
#include "directory/Query.h"

#include <memory>
#include <vector>

namespace orvane::directory {

namespace detail {
class LdapSession;
}

// A connection through the directory provider "ADsDSOObject". Opening checks the credentials
// but contacts no server: each command names its server in its text, and the bind happens
// when the command runs. The sessions it has made end when it is released.
class LdapConnection : public Connection
{
public:
    static constexpr const char *providerName = "ADsDSOObject";

    explicit LdapConnection(LdapProviderOptions options);
    ~LdapConnection() override;

    form::Status setProvider(const QString &provider) override;
    form::Status setProperty(const QString &name, const Value &value) override;
    form::Status open(const QString &connectionString, const QString &userId,
                      const QString &password, int options) override;

    bool isOpen() const { return m_open; }
    // Connects to the query's server and binds with this connection's credentials.
    form::Result<std::shared_ptr<detail::LdapSession>> session(const Query &query,
                                                               std::chrono::milliseconds timeout);
    const LdapProviderOptions &options() const { return m_options; }

private:
    LdapProviderOptions m_options;
    PropertyBag m_properties;
    bool m_providerChosen = false;
    bool m_open = false;
    std::vector<std::shared_ptr<detail::LdapSession>> m_sessions;
};

} // namespace orvane::directory
