#pragma once

#include <memory>

namespace orvane::directory {

// Creates the data-access objects the directory search works with.
class DirectoryComponents
{
public:
    virtual ~DirectoryComponents() = default;
};

// The real components, over libldap.
std::unique_ptr<DirectoryComponents> makeDefaultDirectoryComponents();

} // namespace orvane::directory
