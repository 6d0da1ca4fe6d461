#pragma once

#include <QString>

class QWidget;

namespace orvane::ui {

// The program's one kind of message box: modal to the window, one plain text, an OK button
// only, no icon. An empty caption means the application title. Returns when it is closed.
void showMessageBox(QWidget *parent, const QString &text, const QString &caption = QString());

} // namespace orvane::ui
