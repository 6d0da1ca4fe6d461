#pragma once

#include "directory/Query.h"
#include "directory/detail/EntryValues.h"
#include "directory/detail/LdapSession.h"
#include "form/Status.h"

#include <QByteArray>
#include <QList>
#include <QSet>
#include <QString>

#include <memory>
#include <vector>

namespace orvane::directory::detail {

// One entry as read from the server: its DN and the first value of each attribute, keyed by
// the attribute name in lower case.
struct Entry
{
    QString dn;
    EntryValues values;
};

// The value of the first attribute of the DN's first RDN, decoded; empty where the DN does not
// parse.
QString rdnValue(const QString &dn);

// Whether the server sorted the last page it sent.
enum class SortOutcome { NotAsked, Sorted, NotSorted };

// A search read page by page with the paged-results control (RFC 2696), optionally with a
// non-critical server-side sort request (RFC 2891). Each page is a request of its own, so a
// caller can stop between pages.
class PagedSearch
{
public:
    struct Request
    {
        QByteArray base;
        int scope = 2;
        QByteArray filter;
        QList<QByteArray> attributes;
        int pageSize = 0; // 0: no paging control
        std::vector<SortKey> sortKeys;
    };

    PagedSearch(std::shared_ptr<LdapSession> session, Request request);
    ~PagedSearch();
    PagedSearch(const PagedSearch &) = delete;
    PagedSearch &operator=(const PagedSearch &) = delete;

    // Requests the next page (unless it was asked for already, as the last call does) and
    // appends its entries; referrals and continuation references are skipped. Waits at most
    // the session's time-out for the whole page.
    form::Status fetchPage(std::vector<Entry> &entries);

    bool finished() const { return m_finished; }
    SortOutcome sortOutcome() const { return m_sortOutcome; }
    int pagesRead() const { return m_pagesRead; }

private:
    form::Status sendRequest(int &msgid);
    form::Status readPage(int msgid, std::vector<Entry> &entries, const Deadline &deadline);
    // firstDn: the DN of the page's first entry, empty for a page without entries.
    form::Status readControls(LDAPControl **controls, const QString &firstDn);
    Entry entryOf(LDAPMessage *message) const;
    QString attributeName(const char *name, qsizetype size) const;

    std::shared_ptr<LdapSession> m_session;
    Request m_request;
    QByteArray m_cookie;
    QSet<QString> m_pageStarts; // the first DN of every page read
    int m_entriesRead = 0;      // over all pages
    bool m_finished = false;
    SortOutcome m_sortOutcome = SortOutcome::NotAsked;
    int m_pagesRead = 0;
    int m_requested = -1; // the message id of the page asked for and not yet read
    // The attribute names seen so far, in lower case: every entry repeats them.
    mutable QList<QString> m_names;
};

} // namespace orvane::directory::detail
