#pragma once

#include "directory/Command.h"
#include "directory/PropertyBag.h"

namespace orvane::directory {

class LdapConnection;

// A directory query in the provider's dialect (see QueryParser), with the properties
// "Page Size" (entries a page, 0 for no paging), "Timeout" (seconds to wait for the bind,
// the first answer and each page; 0 for no limit) and "searchscope" (0 base, 1 one level,
// 2 subtree).
class LdapCommand : public Command
{
public:
    LdapCommand();

    form::Status setActiveConnection(Connection &connection) override;
    form::Status setCommandText(const QString &text) override;
    form::Status setProperty(const QString &name, const Value &value) override;
    form::Result<std::unique_ptr<Recordset>> execute(int options) override;

private:
    LdapConnection *m_connection = nullptr;
    QString m_text;
    PropertyBag m_properties;
};

} // namespace orvane::directory
