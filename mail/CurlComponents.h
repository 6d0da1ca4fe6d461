#pragma once

#include "mail/MailComponents.h"
#include "mail/TransportOptions.h"

namespace orvane::mail {

// The real components: CdoMessage over libcurl and the local file system. Tests construct it
// with their own CA file, short time-outs or another port rule.
class CurlComponents : public MailComponents
{
public:
    explicit CurlComponents(TransportOptions options = {});

    form::Result<std::unique_ptr<Message>> createMessage() override;
    form::Result<std::unique_ptr<FileSystem>> createFileSystem() override;

private:
    TransportOptions m_options;
};

} // namespace orvane::mail
