#include "PagedSearch.h"

#include <utility>

namespace orvane::directory::detail {

using form::Status;
using form::StatusKind;

// The value of an entry's RDN ("Smith, John" for "cn=Smith\2C John,ou=people,..."), decoded
// as RFC 4514 says: escaped characters, hex pairs and UTF-8 in them.
QString rdnValue(const QString &dn)
{
    const QByteArray text = dn.toUtf8();
    LDAPDN parsed = nullptr;
    if (ldap_str2dn(text.constData(), &parsed, LDAP_DN_FORMAT_LDAPV3) != LDAP_SUCCESS)
        return QString();
    const LdapDnPtr owned(parsed);
    if (!parsed || !parsed[0] || !parsed[0][0])
        return QString();
    const berval &value = parsed[0][0]->la_value;
    return QString::fromUtf8(value.bv_val, qsizetype(value.bv_len));
}

PagedSearch::PagedSearch(std::shared_ptr<LdapSession> session, Request request)
    : m_session(std::move(session))
    , m_request(std::move(request))
{}

PagedSearch::~PagedSearch()
{
    // A page asked for ahead and never read (RFC 4511 section 4.11).
    if (m_requested >= 0)
        ldap_abandon_ext(m_session->handle(), m_requested, nullptr, nullptr);
}

Status PagedSearch::fetchPage(std::vector<Entry> &entries)
{
    if (m_finished)
        return Status::success();
    // slapd's sort overlay answers the request for the next page with 51, busy, when it comes
    // before the overlay has let go of the page before, and a client that asks at once can be
    // that quick. Busy is RFC 4511's "try again later" (section A.2): the same page is asked
    // for again after a pause that doubles each time, within the page's time-out, and a few
    // times at most whatever the time-out: with none, a server that is always busy would be
    // asked for ever.
    const Deadline deadline = m_session->deadlineFromNow();
    const auto step = m_session->watch(deadline);
    std::chrono::milliseconds pause(1);
    for (int tries = 1;; ++tries) {
        if (m_requested < 0) {
            if (Status s = sendRequest(m_requested); !s.ok())
                return s;
        }
        const std::size_t before = entries.size();
        Status status = readPage(std::exchange(m_requested, -1), entries, deadline);
        const bool again = status.nativeCode == LDAP_BUSY && entries.size() == before
                           && LdapSession::pauseBeforeRetry(tries, deadline, pause);
        if (!again) {
            ++m_pagesRead;
            // The next page is asked for at once, so that the server prepares it while this
            // one is put to use. Where that fails, the next call asks again and reports why.
            if (status.ok() && !m_finished && !sendRequest(m_requested).ok())
                m_requested = -1;
            return status;
        }
    }
}

Status PagedSearch::sendRequest(int &msgid)
{
    LDAP *ld = m_session->handle();

    std::vector<LDAPControl *> controls;
    LdapControlPtr pageControl;
    LdapControlPtr sortControl;
    if (m_request.pageSize > 0) {
        berval cookie{static_cast<ber_len_t>(m_cookie.size()), m_cookie.data()};
        LDAPControl *raw = nullptr;
        const int rc = ldap_create_page_control(ld, m_request.pageSize, &cookie, 0, &raw);
        pageControl.reset(raw);
        if (rc != LDAP_SUCCESS)
            return m_session->failure(rc);
        controls.push_back(raw);
    }
    std::vector<QByteArray> sortNames;
    std::vector<LDAPSortKey> sortKeys;
    std::vector<LDAPSortKey *> sortList;
    if (!m_request.sortKeys.empty()) {
        for (const SortKey &key : m_request.sortKeys)
            sortNames.push_back(key.attribute.toUtf8());
        for (std::size_t i = 0; i < m_request.sortKeys.size(); ++i)
            sortKeys.push_back(
                    {sortNames[i].data(), nullptr, m_request.sortKeys[i].descending ? 1 : 0});
        for (LDAPSortKey &key : sortKeys)
            sortList.push_back(&key);
        sortList.push_back(nullptr);
        LDAPControl *raw = nullptr;
        // Non-critical: a server that cannot sort still answers, and the caller sorts.
        const int rc = ldap_create_sort_control(ld, sortList.data(), 0, &raw);
        sortControl.reset(raw);
        if (rc != LDAP_SUCCESS)
            return m_session->failure(rc);
        controls.push_back(raw);
    }
    controls.push_back(nullptr);

    std::vector<char *> attributes;
    for (QByteArray &name : m_request.attributes)
        attributes.push_back(name.data());
    attributes.push_back(nullptr);

    // The time-out also goes to the server as the search's time limit (RFC 4511 4.5.1.5).
    const auto timeout = m_session->context().timeout;
    timeval limit{};
    limit.tv_sec = static_cast<time_t>((timeout.count() + 999) / 1000);
    const int rc
            = ldap_search_ext(ld, m_request.base.constData(), m_request.scope,
                              m_request.filter.constData(), attributes.data(), 0, controls.data(),
                              nullptr, timeout.count() > 0 ? &limit : nullptr, 0, &msgid);
    return rc == LDAP_SUCCESS ? Status::success() : m_session->failure(rc);
}

Status PagedSearch::readPage(int msgid, std::vector<Entry> &entries, const Deadline &deadline)
{
    const std::size_t before = entries.size();
    for (;;) {
        auto answer = m_session->next(msgid, deadline);
        if (!answer.ok())
            return answer.status;
        LDAPMessage *message = answer.value.get();
        switch (ldap_msgtype(message)) {
        case LDAP_RES_SEARCH_ENTRY:
            entries.push_back(entryOf(message));
            ++m_entriesRead;
            break;
        case LDAP_RES_SEARCH_RESULT: {
            LdapControlsPtr controls;
            Status status = m_session->resultStatus(message, &controls);
            if (status.nativeCode == LDAP_REFERRAL && m_entriesRead > 0) {
                // Entries came, so the base is here; the referral says the rest is held
                // elsewhere, as a continuation reference does. Neither is chased (it would
                // bind anonymously to a server the user did not name), and the entries stand.
                // With no entries at all the base itself is elsewhere: that failure is shown.
                m_finished = true;
                return Status::success();
            }
            if (!status.ok())
                return status;
            return readControls(controls.get(),
                                before < entries.size() ? entries[before].dn : QString());
        }
        default:
            // Continuation references and intermediate responses: not followed.
            break;
        }
    }
}

Status PagedSearch::readControls(LDAPControl **controls, const QString &firstDn)
{
    LDAP *ld = m_session->handle();
    if (!m_request.sortKeys.empty()) {
        // RFC 2891 section 1.2: a server that sorts answers with the sort response, and one
        // that ignores the request sends none. Active Directory always sends it; Samba, which
        // also calls itself Active Directory, sorts and sends none. So a directory of that
        // kind that answers without one has sorted, and its pages are shown as they come.
        m_sortOutcome = m_session->activeDirectory() ? SortOutcome::Sorted : SortOutcome::NotSorted;
        if (LDAPControl *sort = ldap_control_find(LDAP_CONTROL_SORTRESPONSE, controls, nullptr)) {
            m_sortOutcome = SortOutcome::NotSorted;
            ber_int_t result = -1;
            char *attribute = nullptr;
            if (ldap_parse_sortresponse_control(ld, sort, &result, &attribute) == LDAP_SUCCESS
                && result == LDAP_SUCCESS)
                m_sortOutcome = SortOutcome::Sorted;
            ber_memfree(attribute);
        }
    }

    LDAPControl *page = m_request.pageSize > 0
                                ? ldap_control_find(LDAP_CONTROL_PAGEDRESULTS, controls, nullptr)
                                : nullptr;
    if (!page) {
        // A server without paging sent everything at once.
        m_finished = true;
        return Status::success();
    }
    ber_int_t estimate = 0;
    berval cookie{0, nullptr};
    const int rc = ldap_parse_pageresponse_control(ld, page, &estimate, &cookie);
    const std::unique_ptr<void, BerMemFree> owned(cookie.bv_val);
    if (rc != LDAP_SUCCESS)
        return m_session->failure(rc);
    const QByteArray next(cookie.bv_val, static_cast<qsizetype>(cookie.bv_len));
    if (next.isEmpty()) {
        m_finished = true;
        return Status::success();
    }
    // RFC 2696 section 3 leaves the cookie opaque: Active Directory sends a new one with every
    // page, Samba the same one and keeps the place itself. A server that has lost its place
    // sends a page it sent before (or, for an empty page, nothing new for the same cookie),
    // and asking on would loop for ever. Stopping quietly would leave a list that looks
    // complete and is not, so the user is told; rows already listed stay, as when the server
    // goes away between pages.
    const bool repeated = firstDn.isEmpty() ? next == m_cookie : m_pageStarts.contains(firstDn);
    if (repeated) {
        m_finished = true;
        return Status::failure(StatusKind::ServerError, 0,
                               QStringLiteral("The directory server %1 sent a page it had sent "
                                              "before; the search was stopped and the list may "
                                              "be incomplete. Try a longer prefix.")
                                       .arg(m_session->context().host));
    }
    if (!firstDn.isEmpty())
        m_pageStarts.insert(firstDn);
    m_cookie = next;
    return Status::success();
}

Entry PagedSearch::entryOf(LDAPMessage *message) const
{
    LDAP *ld = m_session->handle();
    Entry entry;
    // One pass over the entry's encoding: ldap_get_values_len() would search the entry again
    // from its start for every attribute.
    BerElement *rawBer = nullptr;
    berval dn{0, nullptr};
    if (ldap_get_dn_ber(ld, message, &rawBer, &dn) != LDAP_SUCCESS)
        return entry;
    const BerElementPtr ber(rawBer);
    entry.dn = QString::fromUtf8(dn.bv_val, static_cast<qsizetype>(dn.bv_len));
    berval name{0, nullptr};
    BerVarray values = nullptr;
    while (ldap_get_attribute_ber(ld, message, ber.get(), &name, &values) == LDAP_SUCCESS
           && name.bv_val) {
        // The array is ours; the values point into the message.
        const std::unique_ptr<void, BerMemFree> ownedValues(values);
        // Multi-valued attributes (a second mail address) give their first value.
        if (values && values[0].bv_val)
            entry.values.insert(
                    attributeName(name.bv_val, static_cast<qsizetype>(name.bv_len)),
                    QString::fromUtf8(values[0].bv_val, static_cast<qsizetype>(values[0].bv_len)));
    }
    return entry;
}

// One shared string per name instead of one per entry and attribute. A server that sends
// name after name gets new strings past the first few, so the search stays linear.
QString PagedSearch::attributeName(const char *name, qsizetype size) const
{
    const QLatin1String raw(name, size);
    for (const QString &known : m_names) {
        if (known.compare(raw, Qt::CaseInsensitive) == 0)
            return known;
    }
    const QString lowered = QString(raw).toLower();
    if (m_names.size() < 16)
        m_names.append(lowered);
    return lowered;
}

} // namespace orvane::directory::detail
