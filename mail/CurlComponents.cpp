#include "CurlComponents.h"

#include "mail/CdoMessage.h"
#include "mail/LocalFileSystem.h"

namespace orvane::mail {

CurlComponents::CurlComponents(TransportOptions options)
    : m_options(std::move(options))
{}

MailResult<std::unique_ptr<Message>> CurlComponents::createMessage()
{
    return {MailStatus::success(), std::make_unique<CdoMessage>(m_options)};
}

MailResult<std::unique_ptr<FileSystem>> CurlComponents::createFileSystem()
{
    return {MailStatus::success(), std::make_unique<LocalFileSystem>()};
}

} // namespace orvane::mail
