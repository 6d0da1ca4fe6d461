#include "PickList.h"

#include "ui/TextListModel.h"

#include <QMouseEvent>

namespace orvane::ui {

PickList::PickList(QWidget *parent)
    : QListView(parent)
    , m_lines(new TextListModel(this))
{
    setModel(m_lines);
    setSelectionMode(SingleSelection);
    // One line of text each: laid out in constant time, however many addresses arrive.
    setUniformItemSizes(true);
    setDragDropMode(NoDragDrop);
    setDragEnabled(false);
    setAcceptDrops(false);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
}

int PickList::count() const
{
    return m_lines->rowCount();
}

QString PickList::text(int row) const
{
    return m_lines->text(row);
}

void PickList::addLine(QStringView line)
{
    m_lines->append(line);
}

void PickList::showAddedLines()
{
    m_lines->showAppended();
    // Lays the lines out and asks for the paint now, not when the view's deferred layout
    // comes round: a wait paints once before it blocks, and that paint is to show them.
    executeDelayedItemsLayout();
    viewport()->update();
}

void PickList::clear()
{
    m_lines->clear();
}

int PickList::selectedRow() const
{
    const QModelIndexList rows = selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void PickList::mousePressEvent(QMouseEvent *event)
{
    // Only the left button picks. Another one would select the line under it without a pick,
    // and the highlighted line would no longer be the address in the recipient box.
    if (event->button() != Qt::LeftButton) {
        event->accept();
        return;
    }
    QListView::mousePressEvent(event);
    const QModelIndex hit = indexAt(event->position().toPoint());
    if (hit.isValid() && hit.row() == selectedRow())
        emit picked();
}

void PickList::mouseMoveEvent(QMouseEvent *event)
{
    const int before = selectedRow();
    QListView::mouseMoveEvent(event);
    if ((event->buttons() & Qt::LeftButton) && selectedRow() >= 0 && selectedRow() != before)
        emit picked();
}

void PickList::keyPressEvent(QKeyEvent *event)
{
    const int before = selectedRow();
    QListView::keyPressEvent(event);
    if (selectedRow() >= 0 && selectedRow() != before)
        emit picked();
}

void PickList::focusInEvent(QFocusEvent *event)
{
    // Qt makes the first line current when the list gains the focus. Undo that, so the
    // first arrow key selects the first line, as in a list that has no selection yet.
    const bool hadCurrent = currentIndex().isValid();
    QListView::focusInEvent(event);
    if (!hadCurrent && selectedRow() < 0)
        selectionModel()->setCurrentIndex(QModelIndex(), QItemSelectionModel::NoUpdate);
}

QItemSelectionModel::SelectionFlags PickList::selectionCommand(const QModelIndex &index,
                                                               const QEvent *event) const
{
    // One line is always kept selected once chosen: Ctrl+click or Ctrl+Space would
    // otherwise deselect it.
    const auto command = QListView::selectionCommand(index, event);
    if (command & QItemSelectionModel::Deselect)
        return QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows;
    return command;
}

} // namespace orvane::ui
