#include "WidgetFields.h"

#include "ui/MessageBox.h"
#include "ui/PickList.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>

#include <utility>

namespace orvane::ui {

using form::Control;
using form::controlCount;
using form::Greyed;
using form::Ticked;
using form::Unticked;

WidgetFields::WidgetFields(QWidget *window, const std::array<QWidget *, controlCount> &controls)
    : m_window(window)
    , m_controls(controls)
{
    m_flushTimer.setSingleShot(true);
    m_flushTimer.setInterval(0);
    m_flushTimer.callOnTimeout([this] { flushRows(); });
}

QWidget *WidgetFields::widget(Control control) const
{
    return m_controls[static_cast<std::size_t>(control)];
}

QString WidgetFields::text(Control control) const
{
    QWidget *w = widget(control);
    if (auto *line = qobject_cast<QLineEdit *>(w))
        return line->text();
    if (auto *body = qobject_cast<QPlainTextEdit *>(w))
        return body->toPlainText();
    if (auto *label = qobject_cast<QLabel *>(w))
        return label->text();
    return {};
}

void WidgetFields::setText(Control control, const QString &text)
{
    QWidget *w = widget(control);
    if (auto *line = qobject_cast<QLineEdit *>(w)) {
        line->setText(text);
        line->setCursorPosition(0); // show the beginning of a text longer than the box
    } else if (auto *body = qobject_cast<QPlainTextEdit *>(w))
        body->setPlainText(text);
}

int WidgetFields::value(Control control) const
{
    auto *box = qobject_cast<QCheckBox *>(widget(control));
    if (!box)
        return Unticked;
    switch (box->checkState()) {
    case Qt::Checked:
        return Ticked;
    case Qt::PartiallyChecked:
        return Greyed;
    default:
        return Unticked;
    }
}

void WidgetFields::setCaption(Control control, const QString &caption)
{
    if (auto *label = qobject_cast<QLabel *>(widget(control)))
        label->setText(caption);
}

void WidgetFields::setVisible(Control control, bool visible)
{
    widget(control)->setVisible(visible);
}

void WidgetFields::listClear(Control control)
{
    auto *list = qobject_cast<QListWidget *>(widget(control));
    if (!list)
        return;
    if (list == m_pendingList) {
        m_pendingList = nullptr;
        m_pendingRows.clear();
    }
    list->clear();
}

// A search adds its addresses one at a time, tens of thousands of them, and each row inserted
// on its own costs the list a round of model notifications. Rows are gathered here and go in
// together: when the event loop next runs (between pages of a search, so the window still
// shows them as they arrive), when the handler returns, or before anything reads the list.
void WidgetFields::listAddItem(Control control, const QString &item)
{
    auto *list = qobject_cast<QListWidget *>(widget(control));
    if (!list)
        return;
    if (m_pendingList != list) {
        flushRows();
        m_pendingList = list;
    }
    m_pendingRows.append(item);
    if (!m_flushTimer.isActive())
        m_flushTimer.start();
}

void WidgetFields::flushRows() const
{
    m_flushTimer.stop();
    QListWidget *list = std::exchange(m_pendingList, nullptr);
    if (list && !m_pendingRows.isEmpty())
        list->addItems(std::exchange(m_pendingRows, {}));
}

int WidgetFields::listIndex(Control control) const
{
    flushRows();
    auto *list = qobject_cast<PickList *>(widget(control));
    return list ? list->selectedRow() : -1;
}

QString WidgetFields::listItem(Control control, int index) const
{
    flushRows();
    auto *list = qobject_cast<QListWidget *>(widget(control));
    const QListWidgetItem *item = list ? list->item(index) : nullptr;
    return item ? item->text() : QString();
}

void WidgetFields::messageBox(const QString &text, const QString &caption)
{
    showMessageBox(m_window, text, caption);
}

QString WidgetFields::executableBaseName() const
{
    return QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
}

} // namespace orvane::ui
