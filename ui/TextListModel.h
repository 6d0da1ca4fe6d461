#pragma once

#include <QAbstractListModel>
#include <QString>

#include <vector>

namespace orvane::ui {

// Lines of text kept in one buffer, with where each ends: a list of tens of thousands of
// addresses costs a few allocations, not an item object (with its own string and data list)
// per line. Lines go in in two steps: append() stores a line unseen, and showAppended()
// announces every line stored since with one insertion, so a page of rows is one model change
// however many lines it has.
class TextListModel : public QAbstractListModel
{
    Q_OBJECT

public:
    using QAbstractListModel::QAbstractListModel;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

    // The text of a shown line; empty for any other row.
    QString text(int row) const;
    void append(QStringView line);
    void showAppended();
    // Removes every line, shown or not, and gives back their memory.
    void clear();

private:
    QStringView line(int row) const;

    QString m_text;
    std::vector<qsizetype> m_ends; // line r is m_text from m_ends[r - 1] (0 for r = 0) to m_ends[r]
    int m_shown = 0;
};

} // namespace orvane::ui
