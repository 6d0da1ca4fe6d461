#pragma once

#include "directory/Command.h"
#include "directory/Connection.h"
#include "form/Status.h"

#include <memory>

namespace orvane::directory {

// Creates the data-access objects the directory search works with.
class DirectoryComponents
{
public:
    virtual ~DirectoryComponents() = default;

    virtual form::Result<std::unique_ptr<Connection>> createConnection() = 0;
    virtual form::Result<std::unique_ptr<Command>> createCommand() = 0;
};

} // namespace orvane::directory
