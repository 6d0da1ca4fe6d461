#pragma once

#include <QPlainTextEdit>

namespace orvane::ui {

// The message body: several lines, wrapped at the box's width, no scroll bars, Tab moves
// the focus on. Unlike a plain QPlainTextEdit it never starts a drag of selected text.
class BodyEdit : public QPlainTextEdit
{
    Q_OBJECT

public:
    explicit BodyEdit(QWidget *parent = nullptr);

protected:
    void mousePressEvent(QMouseEvent *event) override;
};

} // namespace orvane::ui
