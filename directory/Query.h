#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <vector>

namespace orvane::directory {

struct SortKey
{
    QString attribute;
    bool descending = false;

    bool operator==(const SortKey &other) const = default;
};

// A parsed directory query: where to search, what to return, in which order.
struct Query
{
    QString host;
    int port = 389;
    QString baseDn;
    QStringList attributes; // the select list, in its order
    QByteArray filter;      // RFC 4515 string representation, UTF-8
    std::vector<SortKey> orderBy;
};

} // namespace orvane::directory
