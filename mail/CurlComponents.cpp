#include "CurlComponents.h"

#include "mail/CdoMessage.h"
#include "mail/LocalFileSystem.h"

namespace orvane::mail {

using form::Result;
using form::Status;

CurlComponents::CurlComponents(TransportOptions options)
    : m_options(std::move(options))
{}

Result<std::unique_ptr<Message>> CurlComponents::createMessage()
{
    return {Status::success(), std::make_unique<CdoMessage>(m_options)};
}

Result<std::unique_ptr<FileSystem>> CurlComponents::createFileSystem()
{
    return {Status::success(), std::make_unique<LocalFileSystem>()};
}

} // namespace orvane::mail
