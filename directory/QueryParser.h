#pragma once

#include "directory/Query.h"
#include "form/Status.h"

#include <QString>

namespace orvane::directory {

// Parses the provider's query dialect:
//
//   SELECT attr[, attr...] FROM 'LDAP://host[:port]/base-DN'
//       [WHERE condition] [ORDER BY attr [ASC|DESC][, ...]]
//
// Keywords in any case. A condition compares an attribute with =, <= or >= to a quoted value
// (or a bare number or word) and combines comparisons with AND, OR, NOT and parentheses.
// Inside a quoted value compared with =, '*' is a wildcard; every other character is escaped
// for the LDAP filter, so a value can never add filter syntax of its own. A quote always ends
// the quoted text. Failures are QuerySyntax with a description naming what is wrong and its
// position (counted in characters from 1).
class QueryParser
{
public:
    static constexpr int maxLength = 65536;
    static constexpr int maxDepth = 32;
    static constexpr int maxAttributes = 64;
    static constexpr int maxSortKeys = 8;

    static form::Result<Query> parse(const QString &text);
};

} // namespace orvane::directory
