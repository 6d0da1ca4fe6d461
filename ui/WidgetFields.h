#pragma once

#include "form/FormFields.h"

#include <QStringList>
#include <QTimer>

#include <array>

class QListWidget;
class QWidget;

namespace orvane::ui {

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

    // Puts the rows added since the last call into their list. The window calls it when a
    // handler returns; it also runs by itself whenever the event loop gets to run.
    void flushRows() const;

private:
    QWidget *widget(form::Control control) const;

    QWidget *m_window;
    std::array<QWidget *, form::controlCount> m_controls;
    // Rows on their way into one list (see listAddItem); mutable so that reads can flush.
    mutable QListWidget *m_pendingList = nullptr;
    mutable QStringList m_pendingRows;
    mutable QTimer m_flushTimer;
};

} // namespace orvane::ui
