#include "TextListModel.h"

namespace orvane::ui {

int TextListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_shown;
}

QVariant TextListModel::data(const QModelIndex &index, int role) const
{
    // The display text is also what an accessibility client reads as the line's name.
    if ((role != Qt::DisplayRole && role != Qt::EditRole) || index.parent().isValid())
        return QVariant();
    return text(index.row());
}

QStringView TextListModel::line(int row) const
{
    const qsizetype start = row == 0 ? 0 : m_ends[std::size_t(row) - 1];
    return QStringView(m_text).sliced(start, m_ends[std::size_t(row)] - start);
}

QString TextListModel::text(int row) const
{
    return row >= 0 && row < m_shown ? line(row).toString() : QString();
}

void TextListModel::append(QStringView line)
{
    m_text.append(line);
    m_ends.push_back(m_text.size());
}

void TextListModel::showAppended()
{
    const int stored = int(m_ends.size());
    if (stored == m_shown)
        return;
    beginInsertRows(QModelIndex(), m_shown, stored - 1);
    m_shown = stored;
    endInsertRows();
}

void TextListModel::clear()
{
    beginResetModel();
    m_text = QString();
    std::vector<qsizetype>().swap(m_ends);
    m_shown = 0;
    endResetModel();
}

} // namespace orvane::ui
