#include "SortedRows.h"

#include "directory/detail/PagedSearch.h"

#include <QCollator>

#include <algorithm>
#include <numeric>

namespace orvane::directory::detail {

namespace {

// The text the client sorts an entry by. Active Directory returns 'name' (the RDN value);
// OpenLDAP returns name's subtypes under their own names, so 'name' falls back to cn and
// then to the RDN value. The attribute name comes in lower case.
QString sortText(const Entry &entry, const QString &key)
{
    if (const auto it = entry.values.constFind(key); it != entry.values.cend())
        return *it;
    if (key == QLatin1String("name")) {
        // The RDN is taken apart only for an entry without cn.
        const auto cn = entry.values.constFind(QStringLiteral("cn"));
        return cn != entry.values.cend() ? *cn : rdnValue(entry.dn);
    }
    return QString();
}

// Appends the text folded for the sort. Names are mostly plain ASCII, which is folded here
// without Qt's Unicode tables (a third of the sort's time on 50,000 rows).
void appendFolded(QString &out, const QString &text)
{
    const qsizetype start = out.size();
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u >= 0x80) {
            out.truncate(start);
            out += text.toCaseFolded();
            return;
        }
        out += u >= u'A' && u <= u'Z' ? QChar(char16_t(u + (u'a' - u'A'))) : c;
    }
}

// Appends text to a page's buffer and says where it went.
TextSpan appendSpan(QString &buffer, const QString *text)
{
    if (!text)
        return TextSpan();
    const TextSpan span{qint32(buffer.size()), qint32(text->size())};
    buffer += *text;
    return span;
}

QStringView viewOf(const QString &buffer, const TextSpan &span)
{
    return QStringView(buffer).sliced(span.start, span.length);
}

// The first element of the sorted range [first, last) that value goes before, looked for from
// last backwards by steps of 1, 2, 4 ... and then halving: fewer comparisons than a binary
// search of the whole range when the place is near last.
template<typename Iterator, typename T, typename Before>
Iterator gallopUpperBoundBackwards(Iterator first, Iterator last, const T &value,
                                   const Before &before)
{
    std::ptrdiff_t step = 1;
    while (step <= last - first && before(value, *(last - step))) {
        last -= step;
        step *= 2;
    }
    // Everything from last on goes after value; *(last - step), where it exists, does not.
    const Iterator low = last - first < step ? first : last - step;
    return std::upper_bound(low, last, value, before);
}

} // namespace

SortedRows::SortedRows(const QStringList &columns, const std::vector<SortKey> &orderBy)
    : m_columns(columns)
{
    for (const SortKey &key : orderBy) {
        m_keyAttributes.append(key.attribute.toLower());
        m_descending.push_back(key.descending);
    }
    if (orderBy.empty())
        return;
    // The user's locale decides the order ("Émile" beside "Emil", not after "Zoe").
    const QCollator collator;
    m_locale = collator.locale();
    m_collated = m_locale.language() != QLocale::C;
}

RowPage SortedRows::pack(const std::vector<Entry> &entries) const
{
    RowPage page;
    page.rows = entries.size();
    page.values.reserve(entries.size() * std::size_t(m_columns.size()));
    for (const Entry &entry : entries) {
        for (const QString &column : m_columns)
            page.values.push_back(appendSpan(page.text, entry.values.constFind(column)));
    }
    page.text.squeeze();
    if (!m_keyAttributes.isEmpty())
        packKeys(entries, page);
    return page;
}

void SortedRows::packKeys(const std::vector<Entry> &entries, RowPage &page) const
{
    const std::size_t keyCount = std::size_t(m_keyAttributes.size());
    if (m_collated) {
        QCollator collator(m_locale);
        collator.setCaseSensitivity(Qt::CaseInsensitive);
        page.collatedKeys.reserve(entries.size() * keyCount);
        for (const Entry &entry : entries) {
            for (const QString &attribute : m_keyAttributes)
                page.collatedKeys.push_back(collator.sortKey(sortText(entry, attribute)));
        }
    } else {
        // In one buffer, so that a row's keys cost no allocation of their own.
        page.foldedSpans.reserve(entries.size() * keyCount);
        for (const Entry &entry : entries) {
            for (const QString &attribute : m_keyAttributes) {
                const qint32 start = qint32(page.foldedKeys.size());
                appendFolded(page.foldedKeys, sortText(entry, attribute));
                page.foldedSpans.push_back({start, qint32(page.foldedKeys.size()) - start});
            }
        }
        page.foldedKeys.squeeze();
    }
    page.order.resize(entries.size());
    std::iota(page.order.begin(), page.order.end(), quint32(0));
    std::stable_sort(page.order.begin(), page.order.end(),
                     [&](quint32 a, quint32 b) { return less(page, a, page, b); });
}

void SortedRows::add(RowPage page)
{
    const auto number = quint32(m_pages.size());
    std::vector<RowRef> arrived;
    arrived.reserve(page.rows);
    for (std::size_t i = 0; i < page.rows; ++i)
        arrived.push_back({number, page.order.empty() ? quint32(i) : page.order[i]});
    m_pages.push_back(std::move(page));
    if (m_keyAttributes.isEmpty() || m_order.empty()) {
        m_order.insert(m_order.end(), arrived.begin(), arrived.end());
        return;
    }
    // Rows held before come first among equals, as in one stable sort of every row. A page is
    // small beside the rows held: from the back, each of its rows looks for its place by
    // galloping from the last one's, and the held rows behind it move back in one go, in place.
    const auto before = [this](const RowRef &row, const RowRef &held) {
        return less(m_pages[row.page], row.row, m_pages[held.page], held.row);
    };
    const std::size_t held = m_order.size();
    m_order.resize(held + arrived.size());
    auto heldEnd = m_order.begin() + std::ptrdiff_t(held);
    auto out = m_order.end();
    for (auto row = arrived.crbegin(); row != arrived.crend(); ++row) {
        const auto place = gallopUpperBoundBackwards(m_order.begin(), heldEnd, *row, before);
        out = std::move_backward(place, heldEnd, out);
        *--out = *row;
        heldEnd = place;
    }
}

bool SortedRows::less(const RowPage &a, std::size_t ra, const RowPage &b, std::size_t rb) const
{
    const std::size_t keyCount = m_descending.size();
    for (std::size_t k = 0; k < keyCount; ++k) {
        const std::size_t i = ra * keyCount + k;
        const std::size_t j = rb * keyCount + k;
        const int compared = m_collated ? a.collatedKeys[i].compare(b.collatedKeys[j])
                                        : viewOf(a.foldedKeys, a.foldedSpans[i])
                                                  .compare(viewOf(b.foldedKeys, b.foldedSpans[j]));
        if (compared != 0)
            return m_descending[k] ? compared > 0 : compared < 0;
    }
    return false;
}

void SortedRows::dropKeys()
{
    for (RowPage &page : m_pages) {
        page.foldedKeys = QString();
        page.foldedSpans = {};
        page.collatedKeys = {};
        page.order = {};
    }
}

void SortedRows::clear()
{
    m_pages.clear();
    m_order.clear();
}

std::optional<QStringView> SortedRows::value(std::size_t position, qsizetype column) const
{
    const RowRef &ref = m_order[position];
    const RowPage &page = m_pages[ref.page];
    const TextSpan &span
            = page.values[ref.row * std::size_t(m_columns.size()) + std::size_t(column)];
    if (span.length < 0)
        return std::nullopt;
    return viewOf(page.text, span);
}

} // namespace orvane::directory::detail
