#pragma once

#include "directory/Value.h"
#include "form/Status.h"

#include <QString>

namespace orvane::directory {

// A connection to a data source through a named provider. Credentials reach the directory
// provider through the properties "User ID" and "Password"; opening it checks them but does
// not contact a server yet (the server is named by each command's text). Releasing the
// object ends the connection.
class Connection
{
public:
    virtual ~Connection() = default;

    virtual form::Status setProvider(const QString &provider) = 0;
    // Properties of the chosen provider; names match without regard to case.
    virtual form::Status setProperty(const QString &name, const Value &value) = 0;
    // options -1 means unspecified.
    virtual form::Status open(const QString &connectionString, const QString &userId,
                              const QString &password, int options)
            = 0;
};

} // namespace orvane::directory
