#pragma once

#include "form/FormFields.h"

#include <QTimer>

#include <array>

class QWidget;

namespace orvane::ui {

class PickList;

// The field interface over the window's widgets: what handlers see of the Qt window.
class WidgetFields : public form::FormFields
{
public:
    // `controls` holds one widget per Control, in tab order; `window` owns the boxes.
    WidgetFields(QWidget *window, const std::array<QWidget *, form::controlCount> &controls);

    QString text(form::Control control) const override;
    void setText(form::Control control, const QString &text) override;
    int value(form::Control control) const override;
    void setCaption(form::Control control, const QString &caption) override;
    void setVisible(form::Control control, bool visible) override;
    void listClear(form::Control control) override;
    void listAddItem(form::Control control, const QString &item) override;
    int listIndex(form::Control control) const override;
    QString listItem(form::Control control, int index) const override;
    void messageBox(const QString &text, const QString &caption = QString()) override;
    QString executableBaseName() const override;

    // Shows the rows added since the last call in their list. The window calls it when a
    // handler returns and when a wait begins; it also runs by itself whenever the event loop
    // gets to run.
    void flushRows() const;

private:
    QWidget *widget(form::Control control) const;

    QWidget *m_window;
    std::array<QWidget *, form::controlCount> m_controls;
    PickList *list(form::Control control) const;

    // The list whose added rows are not shown yet (see listAddItem); mutable so that reads
    // can flush.
    mutable PickList *m_pendingList = nullptr;
    mutable QTimer m_flushTimer;
};

} // namespace orvane::ui
