#pragma once

#include <QListView>

namespace orvane::ui {

class TextListModel;

// The directory result list. It emits picked() each time the user selects a line: a left
// button press on a line (the selected one too), dragging the selection with that button held,
// or moving the selection with the keyboard. Only these change the selection: other buttons
// select nothing. Filling, clearing or focusing the list, and any change made by the program,
// emit nothing. Its lines are held in one buffer (TextListModel).
class PickList : public QListView
{
    Q_OBJECT

public:
    explicit PickList(QWidget *parent = nullptr);

    // The lines shown, and the text of one (empty for any other row).
    int count() const;
    QString text(int row) const;
    // Stores a line after the last one; it is shown, with every line stored since the last
    // call, by showAddedLines().
    void addLine(QStringView line);
    void showAddedLines();
    // Removes every line, shown or not.
    void clear();

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

private:
    TextListModel *m_lines;
};

} // namespace orvane::ui
