#pragma once

#include "directory/Query.h"

#include <QCollatorSortKey>
#include <QLocale>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <optional>
#include <vector>

namespace orvane::directory::detail {

struct Entry;

// Where one value lies in a page's text; a null value has length -1.
struct TextSpan
{
    qint32 start = 0;
    qint32 length = -1;
};

// The rows of one page, packed: the values of the select list in one buffer, a span per row and
// column. Where the rows are sorted here, also their sort keys (made once, so that each of the
// many comparisons is a plain one) and the rows' order by them.
struct RowPage
{
    std::size_t rows = 0;
    QString text;
    std::vector<TextSpan> values; // row r, column c: r * columns + c
    // The C locale orders by code point: case-folded keys in one buffer. Any other locale
    // orders by its collation keys.
    QString foldedKeys;
    std::vector<TextSpan> foldedSpans; // row r, key k: r * keys + k
    std::vector<QCollatorSortKey> collatedKeys;
    std::vector<quint32> order;
};

// The rows of a search in the order they are read out. Where the server sorts, or no order is
// asked for, that is the order they came in. Otherwise each page is sorted on its own as it is
// packed, on the thread that read it, and merged among the rows held: after the last page only
// its merge is left to do, and the order is that of sorting every row at once, rows that came
// first first among equals.
class SortedRows
{
public:
    // orderBy empty: the rows stay in the order they come. The locale of the keys is the
    // user's, as it is now.
    SortedRows(const QStringList &columns, const std::vector<SortKey> &orderBy);

    // The rows of one page, packed, sorted where this sorts. Reads nothing but the entries
    // and the settings above, so any thread may call it while another reads the rows.
    RowPage pack(const std::vector<Entry> &entries) const;
    // Takes a packed page in (the caller's thread).
    void add(RowPage page);
    // Gives back the memory of the sort keys: after this, no further page can be merged.
    void dropKeys();
    void clear();

    std::size_t size() const { return m_order.size(); }
    // The value of a column of the row at a position of the order; nullopt when null.
    std::optional<QStringView> value(std::size_t position, qsizetype column) const;

private:
    struct RowRef
    {
        quint32 page;
        quint32 row;
    };

    // Whether row ra of page a goes before row rb of page b.
    bool less(const RowPage &a, std::size_t ra, const RowPage &b, std::size_t rb) const;
    void packKeys(const std::vector<Entry> &entries, RowPage &page) const;

    QStringList m_columns;
    QStringList m_keyAttributes; // in lower case
    std::vector<bool> m_descending;
    QLocale m_locale;
    bool m_collated = false;
    std::vector<RowPage> m_pages;
    std::vector<RowRef> m_order;
};

} // namespace orvane::directory::detail
