#pragma once

#include "directory/Connection.h"
#include "directory/Recordset.h"
#include "directory/Status.h"
#include "directory/Value.h"

#include <QString>

#include <memory>

namespace orvane::directory {

// A query bound to an open connection.
class Command
{
public:
    virtual ~Command() = default;

    // Bound by reference: the connection must outlive the command.
    virtual Status setActiveConnection(Connection &connection) = 0;
    virtual Status setCommandText(const QString &text) = 0;
    // Properties of the connection's provider; names match without regard to case.
    virtual Status setProperty(const QString &name, const Value &value) = 0;
    // On success, rows holds a result set on the first row, or at its end when nothing
    // matched. options -1 means unspecified.
    virtual Status execute(std::unique_ptr<Recordset> &rows, int options) = 0;
};

} // namespace orvane::directory
