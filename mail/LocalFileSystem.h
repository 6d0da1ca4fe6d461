#pragma once

#include "mail/FileSystem.h"

namespace orvane::mail {

// The existence test on the local file system.
class LocalFileSystem : public FileSystem
{
public:
    form::Result<bool> fileExists(const QString &path) override;
};

} // namespace orvane::mail
