#include "BodyEdit.h"

#include <QMouseEvent>
#include <QTextCursor>

namespace orvane::ui {

BodyEdit::BodyEdit(QWidget *parent)
    : QPlainTextEdit(parent)
{
    setLineWrapMode(WidgetWidth);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setTabChangesFocus(true);
}

void BodyEdit::mousePressEvent(QMouseEvent *event)
{
    // QPlainTextEdit starts a drag when the press lands inside the selection. Dropping the
    // selection first makes such a press place the cursor, as it does anywhere else.
    if (event->button() == Qt::LeftButton && event->modifiers() == Qt::NoModifier) {
        QTextCursor cursor = textCursor();
        if (cursor.hasSelection()) {
            const int at = cursorForPosition(event->position().toPoint()).position();
            if (at >= cursor.selectionStart() && at <= cursor.selectionEnd()) {
                cursor.clearSelection();
                setTextCursor(cursor);
            }
        }
    }
    QPlainTextEdit::mousePressEvent(event);
}

} // namespace orvane::ui
