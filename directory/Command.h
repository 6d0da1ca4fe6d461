#pragma once

#include "directory/Connection.h"
#include "directory/Recordset.h"
#include "directory/Value.h"
#include "form/Status.h"

#include <QString>

#include <memory>

namespace orvane::directory {

// A query bound to an open connection.
class Command
{
public:
    virtual ~Command() = default;

    // Bound by reference: the connection must outlive the command.
    virtual form::Status setActiveConnection(Connection &connection) = 0;
    virtual form::Status setCommandText(const QString &text) = 0;
    // Properties of the connection's provider; names match without regard to case.
    virtual form::Status setProperty(const QString &name, const Value &value) = 0;
    // The rows, on the first one, or at their end when nothing matched. options -1 means
    // unspecified.
    virtual form::Result<std::unique_ptr<Recordset>> execute(int options) = 0;
};

} // namespace orvane::directory
