#include "PickList.h"

#include <QMouseEvent>

namespace orvane::ui {

PickList::PickList(QWidget *parent)
    : QListWidget(parent)
{
    setSelectionMode(SingleSelection);
    setSortingEnabled(false);
    // One line of text each: laid out in constant time, however many addresses arrive.
    setUniformItemSizes(true);
    setDragDropMode(NoDragDrop);
    setDragEnabled(false);
    setAcceptDrops(false);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
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
    QListWidget::mousePressEvent(event);
    const QModelIndex hit = indexAt(event->position().toPoint());
    if (hit.isValid() && hit.row() == selectedRow())
        emit picked();
}

void PickList::mouseMoveEvent(QMouseEvent *event)
{
    const int before = selectedRow();
    QListWidget::mouseMoveEvent(event);
    if ((event->buttons() & Qt::LeftButton) && selectedRow() >= 0 && selectedRow() != before)
        emit picked();
}

void PickList::keyPressEvent(QKeyEvent *event)
{
    const int before = selectedRow();
    QListWidget::keyPressEvent(event);
    if (selectedRow() >= 0 && selectedRow() != before)
        emit picked();
}

void PickList::focusInEvent(QFocusEvent *event)
{
    // Qt makes the first line current when the list gains the focus. Undo that, so the
    // first arrow key selects the first line, as in a list that has no selection yet.
    const bool hadCurrent = currentIndex().isValid();
    QListWidget::focusInEvent(event);
    if (!hadCurrent && selectedRow() < 0)
        selectionModel()->setCurrentIndex(QModelIndex(), QItemSelectionModel::NoUpdate);
}

QItemSelectionModel::SelectionFlags PickList::selectionCommand(const QModelIndex &index,
                                                               const QEvent *event) const
{
    // One line is always kept selected once chosen: Ctrl+click or Ctrl+Space would
    // otherwise deselect it.
    const auto command = QListWidget::selectionCommand(index, event);
    if (command & QItemSelectionModel::Deselect)
        return QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows;
    return command;
}

} // namespace orvane::ui
