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

PickList *WidgetFields::list(Control control) const
{
    return qobject_cast<PickList *>(widget(control));
}

void WidgetFields::listClear(Control control)
{
    PickList *target = list(control);
    if (!target)
        return;
    if (target == m_pendingList) {
        m_flushTimer.stop();
        m_pendingList = nullptr;
    }
    target->clear();
}

// A search adds its addresses one at a time, tens of thousands of them, and each row inserted
// on its own costs the list a round of model notifications. Rows are stored in the list unseen
// and shown together: when the event loop next runs or a wait begins (between pages of a
// search, so the window still shows them as they arrive), when the handler returns, or before
// anything reads the list.
void WidgetFields::listAddItem(Control control, const QString &item)
{
    PickList *target = list(control);
    if (!target)
        return;
    if (m_pendingList != target) {
        flushRows();
        m_pendingList = target;
    }
    target->addLine(item);
    if (!m_flushTimer.isActive())
        m_flushTimer.start();
}

void WidgetFields::flushRows() const
{
    m_flushTimer.stop();
    if (PickList *pending = std::exchange(m_pendingList, nullptr))
        pending->showAddedLines();
}

int WidgetFields::listIndex(Control control) const
{
    flushRows();
    const PickList *target = list(control);
    return target ? target->selectedRow() : -1;
}

QString WidgetFields::listItem(Control control, int index) const
{
    flushRows();
    const PickList *target = list(control);
    return target ? target->text(index) : QString();
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
