#pragma once

#include "form/Status.h"

#include <QString>

namespace orvane::mail {

// The existence test for the attachment path.
class FileSystem
{
public:
    virtual ~FileSystem() = default;

    // True only for an existing regular file (after following links). The path is tested
    // exactly as given: no trimming, no expansion.
    virtual form::Result<bool> fileExists(const QString &path) = 0;
};

} // namespace orvane::mail
