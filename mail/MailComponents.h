#pragma once

#include "mail/FileSystem.h"
#include "mail/MailStatus.h"
#include "mail/Message.h"

#include <memory>

namespace orvane::mail {

// Creates the components the Send action works with (the message, the file test). Each call
// gives a new object that the caller owns for one click.
class MailComponents
{
public:
    virtual ~MailComponents() = default;

    virtual MailResult<std::unique_ptr<Message>> createMessage() = 0;
    virtual MailResult<std::unique_ptr<FileSystem>> createFileSystem() = 0;
};

} // namespace orvane::mail
