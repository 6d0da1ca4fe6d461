#pragma once

#include "directory/Value.h"
#include "form/Status.h"

#include <QString>

namespace orvane::directory {

// The rows a command returned, read forwards one at a time.
class Recordset
{
public:
    virtual ~Recordset() = default;

    // True once the last row has been passed (at once when nothing matched).
    virtual bool eof() const = 0;
    // The current row's value of a column of the select list, found without regard to case;
    // null when the entry has no such attribute. A name outside the select list fails.
    virtual form::Result<Value> field(const QString &name) const = 0;
    // Advances by one row; may have to fetch the next page from the server.
    virtual form::Status moveNext() = 0;
};

} // namespace orvane::directory
