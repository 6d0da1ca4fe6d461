#include "LocalFileSystem.h"

#include <QFileInfo>

namespace orvane::mail {

MailResult<bool> LocalFileSystem::fileExists(const QString &path)
{
    // QFileInfo takes the path as it is: a leading space is part of the name.
    return {MailStatus::success(), !path.isEmpty() && QFileInfo(path).isFile()};
}

} // namespace orvane::mail
