#pragma once

#include <QListWidget>

namespace orvane::ui {

// The directory result list. It emits picked() each time the user selects a line: a left
// button press on a line (the selected one too), dragging the selection with that button held,
// or moving the selection with the keyboard. Only these change the selection: other buttons
// select nothing. Filling, clearing or focusing the list, and any change made by the program,
// emit nothing.
class PickList : public QListWidget
{
    Q_OBJECT

public:
    explicit PickList(QWidget *parent = nullptr);

    // The selected line, or -1.
    int selectedRow() const;

signals:
    void picked();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex &index,
                                                         const QEvent *event) const override;
};

} // namespace orvane::ui
