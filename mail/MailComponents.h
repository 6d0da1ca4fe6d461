#pragma once

#include <memory>

namespace orvane::mail {

// Creates the components the Send action works with (the message, the file test).
class MailComponents
{
public:
    virtual ~MailComponents() = default;
};

// The real components, over libcurl and the local file system.
std::unique_ptr<MailComponents> makeDefaultMailComponents();

} // namespace orvane::mail
