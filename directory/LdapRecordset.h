#pragma once

#include "directory/Query.h"
#include "directory/Recordset.h"
#include "form/NetworkWait.h"

#include <QStringList>

#include <memory>
#include <vector>

namespace orvane::directory {

namespace detail {
class LdapSession;
class PagedSearch;
struct Entry;
} // namespace detail

// The rows of one directory search. When the query has an ORDER BY, the server is asked to
// sort. Where it does, pages are fetched as the rows are read, so the first rows are there
// before the last page. Where it cannot (OpenLDAP refuses 'name' with result 18) or ignores
// the request, the search runs again unsorted, every page is read, and the rows are sorted
// here before the first one is handed out.
class LdapRecordset : public Recordset
{
public:
    ~LdapRecordset() override;

    static form::Result<std::unique_ptr<LdapRecordset>>
    open(std::shared_ptr<detail::LdapSession> session, const Query &query, int pageSize, int scope);

    bool eof() const override;
    form::Result<Value> field(const QString &name) const override;
    form::Status moveNext() override;

    // Where moveNext() waits for a further page. None: on the calling thread.
    void setNetworkWait(std::shared_ptr<form::NetworkWait> wait) { m_wait = std::move(wait); }

    bool sortedByServer() const { return m_sortedByServer; }
    int pagesRead() const;

private:
    LdapRecordset(const Query &query);
    form::Status fetchUntilRow();
    void sortRows();
    // The rows' order by m_orderBy; compareKeys(i, j) compares key numbers i and j, where row
    // r's key k is number r * m_orderBy.size() + k.
    template<typename Compare>
    std::vector<std::size_t> sortedOrder(const Compare &compareKeys) const;

    QStringList m_columns;
    std::vector<SortKey> m_orderBy;
    std::unique_ptr<detail::PagedSearch> m_search;
    std::vector<detail::Entry> m_rows; // the current page, or every row when sorted here
    std::size_t m_current = 0;
    bool m_sortedByServer = false;
    std::shared_ptr<form::NetworkWait> m_wait;
};

} // namespace orvane::directory
