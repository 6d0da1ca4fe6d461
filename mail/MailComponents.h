#pragma once

#include "form/Status.h"
#include "mail/FileSystem.h"
#include "mail/Message.h"

#include <memory>

namespace orvane::mail {

// Creates the components the Send action works with (the message, the file test). Each call
// gives a new object that the caller owns for one click.
class MailComponents
{
public:
    virtual ~MailComponents() = default;

    virtual form::Result<std::unique_ptr<Message>> createMessage() = 0;
    virtual form::Result<std::unique_ptr<FileSystem>> createFileSystem() = 0;
};

} // namespace orvane::mail
