#pragma once

#include "ui/FormFields.h"

#include <array>

class QWidget;

namespace orvane::ui {

// The field interface over the window's widgets: what handlers see of the Qt window.
class WidgetFields : public FormFields
{
public:
    // `controls` holds one widget per Control, in tab order; `window` owns the boxes.
    WidgetFields(QWidget *window, const std::array<QWidget *, controlCount> &controls);

    QString text(Control control) const override;
    void setText(Control control, const QString &text) override;
    int value(Control control) const override;
    void setCaption(Control control, const QString &caption) override;
    void setVisible(Control control, bool visible) override;
    void listClear(Control control) override;
    void listAddItem(Control control, const QString &item) override;
    int listIndex(Control control) const override;
    QString listItem(Control control, int index) const override;
    void messageBox(const QString &text, const QString &caption = QString()) override;
    QString executableBaseName() const override;

private:
    QWidget *widget(Control control) const;

    QWidget *m_window;
    std::array<QWidget *, controlCount> m_controls;
};

} // namespace orvane::ui
