#include "LocalFileSystem.h"

#include <QFileInfo>

namespace orvane::mail {

using form::Result;
using form::Status;

Result<bool> LocalFileSystem::fileExists(const QString &path)
{
    // QFileInfo takes the path as it is: a leading space is part of the name.
    return {Status::success(), !path.isEmpty() && QFileInfo(path).isFile()};
}

} // namespace orvane::mail
