#pragma once

#include "directory/Command.h"
#include "directory/Connection.h"
#include "directory/Status.h"

#include <memory>

namespace orvane::directory {

// Creates the data-access objects the directory search works with.
class DirectoryComponents
{
public:
    virtual ~DirectoryComponents() = default;

    virtual Status createConnection(std::unique_ptr<Connection> &connection) = 0;
    virtual Status createCommand(std::unique_ptr<Command> &command) = 0;
};

} // namespace orvane::directory
