#include "LdapRecordset.h"

#include "detail/PagedSearch.h"

#include <exception>
#include <utility>

namespace orvane::directory {

using form::Result;
using form::Status;
using form::StatusKind;

using detail::Entry;
using detail::PagedSearch;
using detail::RowPage;
using detail::SortOutcome;

namespace {

// Work that fetches a page, with any exception it throws turned into a failure.
template<class Work>
Status guarded(Work &&work)
{
    try {
        return work();
    } catch (const std::exception &e) {
        return Status::failure(StatusKind::Internal, 0,
                               QStringLiteral("Reading the next page failed: %1")
                                       .arg(QString::fromLocal8Bit(e.what())));
    }
}

} // namespace

LdapRecordset::LdapRecordset(const Query &query)
    : m_columns(query.attributes)
    , m_rows(query.attributes, {})
{}

LdapRecordset::~LdapRecordset() = default;

int LdapRecordset::pagesRead() const
{
    return m_search ? m_search->pagesRead() : 0;
}

Result<std::unique_ptr<LdapRecordset>>
LdapRecordset::open(std::shared_ptr<detail::LdapSession> session, const Query &query, int pageSize,
                    int scope)
{
    std::unique_ptr<LdapRecordset> created(new LdapRecordset(query));
    PagedSearch::Request request;
    request.base = query.baseDn.toUtf8();
    request.scope = scope;
    request.filter = query.filter;
    request.pageSize = pageSize;
    QStringList wanted = query.attributes;
    for (const SortKey &key : query.orderBy) {
        wanted.append(key.attribute);
        if (key.attribute.compare(QLatin1String("name"), Qt::CaseInsensitive) == 0)
            wanted.append(QStringLiteral("cn"));
    }
    wanted.removeDuplicates();
    for (const QString &name : wanted)
        request.attributes.append(name.toUtf8());

    request.sortKeys = query.orderBy;
    created->m_search = std::make_unique<PagedSearch>(session, request);
    std::vector<Entry> first;
    Status status = created->m_search->fetchPage(first);
    const bool sortAsked = !query.orderBy.empty();
    if (sortAsked && status.nativeCode == 18 /* inappropriateMatching: no ordering rule */) {
        request.sortKeys.clear();
        first.clear();
        created->m_search = std::make_unique<PagedSearch>(session, request);
        status = created->m_search->fetchPage(first);
    }
    if (!status.ok())
        return status;

    created->m_sortedByServer = created->m_search->sortOutcome() == SortOutcome::Sorted;
    created->m_sortsHere = sortAsked && !created->m_sortedByServer;
    if (created->m_sortsHere)
        created->m_rows = detail::SortedRows(query.attributes, query.orderBy);
    created->m_rows.add(created->m_rows.pack(first));
    if (!created->m_sortsHere) {
        if (Status s = created->fetchUntilRow(); !s.ok())
            return s;
    }
    return {Status::success(), std::move(created)};
}

Status LdapRecordset::readAllSorted()
{
    if (!m_sortsHere)
        return Status::success();
    // While the worker fetches and sorts a page, this thread merges the one before it.
    std::optional<RowPage> unmerged;
    const auto merge = [&] {
        if (unmerged)
            m_rows.add(*std::exchange(unmerged, std::nullopt));
    };
    while (!m_search->finished()) {
        RowPage next;
        if (Status s = form::waitFor(
                    m_wait, [&] { return guarded([&] { return fetchPage(next); }); }, merge);
            !s.ok())
            return s;
        unmerged = std::move(next);
    }
    merge();
    m_rows.dropKeys();
    m_current = 0;
    return Status::success();
}

Status LdapRecordset::fetchPage(RowPage &page)
{
    std::vector<Entry> entries;
    if (Status s = m_search->fetchPage(entries); !s.ok())
        return s;
    page = m_rows.pack(entries);
    return Status::success();
}

Status LdapRecordset::fetchUntilRow()
{
    while (m_current >= m_rows.size() && !m_search->finished()) {
        m_rows.clear();
        m_current = 0;
        RowPage page;
        if (Status s = fetchPage(page); !s.ok())
            return s;
        m_rows.add(std::move(page));
    }
    return Status::success();
}

bool LdapRecordset::eof() const
{
    return m_current >= m_rows.size();
}

Result<Value> LdapRecordset::field(const QString &name) const
{
    qsizetype column = 0;
    while (column < m_columns.size() && m_columns[column].compare(name, Qt::CaseInsensitive) != 0)
        ++column;
    if (column == m_columns.size())
        return Status::failure(
                StatusKind::NoSuchField, 0,
                QStringLiteral("The result has no field \"%1\"; the query selects %2.")
                        .arg(name, m_columns.join(QStringLiteral(", "))));
    if (eof())
        return Status::failure(
                StatusKind::InvalidState, 0,
                QStringLiteral("There is no current row: the result is at its end."));
    const std::optional<QStringView> value = m_rows.value(m_current, column);
    return {Status::success(), value ? Value::text(value->toString()) : Value()};
}

Status LdapRecordset::moveNext()
{
    if (eof())
        return Status::failure(StatusKind::InvalidState, 0,
                               QStringLiteral("There is no next row: the result is at its end."));
    ++m_current;
    // Rows sorted here are all in memory already; rows the server sorted come page by page,
    // and only fetching a page waits on the network.
    if (m_current < m_rows.size() || m_search->finished())
        return Status::success();
    return form::waitFor(m_wait, [this] { return guarded([this] { return fetchUntilRow(); }); });
}

} // namespace orvane::directory
