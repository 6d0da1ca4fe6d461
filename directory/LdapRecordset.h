#pragma once

#include "directory/Query.h"
#include "directory/Recordset.h"
#include "directory/detail/SortedRows.h"
#include "form/NetworkWait.h"

#include <QStringList>

#include <memory>
#include <vector>

namespace orvane::directory {

namespace detail {
class LdapSession;
class PagedSearch;
} // namespace detail

// The rows of one directory search. When the query has an ORDER BY, the server is asked to
// sort. Where it does, pages are fetched as the rows are read, so the first rows are there
// before the last page. Where it cannot (OpenLDAP refuses 'name' with result 18) or ignores
// the request, the search runs again unsorted and every page is read before the first row is
// handed out: each page is sorted as it arrives and merged among the rows held while the next
// one is fetched (see readAllSorted).
class LdapRecordset : public Recordset
{
public:
    ~LdapRecordset() override;

    // Runs the search up to its first page: on the thread that waits on the network.
    static form::Result<std::unique_ptr<LdapRecordset>>
    open(std::shared_ptr<detail::LdapSession> session, const Query &query, int pageSize, int scope);

    // Where the rows are sorted here, reads the remaining pages through the wait, each sorted
    // on the thread that fetches it and merged on this one while the next page is fetched;
    // nothing to do otherwise. Call once, after open() and setNetworkWait().
    form::Status readAllSorted();

    bool eof() const override;
    form::Result<Value> field(const QString &name) const override;
    form::Status moveNext() override;

    // Where moveNext() and readAllSorted() wait for a further page. None: on the calling
    // thread.
    void setNetworkWait(std::shared_ptr<form::NetworkWait> wait) { m_wait = std::move(wait); }

    bool sortedByServer() const { return m_sortedByServer; }
    int pagesRead() const;

private:
    explicit LdapRecordset(const Query &query);
    // The next page, packed (and sorted where the rows are sorted here).
    form::Status fetchPage(detail::RowPage &page);
    form::Status fetchUntilRow();

    QStringList m_columns;
    std::unique_ptr<detail::PagedSearch> m_search;
    // Where the server sorts, or no order is asked for: the current page. Where the rows are
    // sorted here: every row.
    detail::SortedRows m_rows;
    std::size_t m_current = 0;
    bool m_sortedByServer = false;
    bool m_sortsHere = false;
    std::shared_ptr<form::NetworkWait> m_wait;
};

} // namespace orvane::directory
