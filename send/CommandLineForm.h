#pragma once

#include "form/FormFields.h"

#include <QStringList>

#include <map>

namespace orvane::send {

// The Send button's form as the command line fills it: the boxes and check boxes it reads, the
// status line it writes, and the boxes it would show, kept in order for the caller to print.
class CommandLineForm : public form::FormFields
{
public:
    QString text(form::Control control) const override;
    void setText(form::Control control, const QString &text) override;
    int value(form::Control control) const override;
    void setValue(form::Control control, int value) { m_values[control] = value; }
    void setCaption(form::Control, const QString &) override {} // no status line here
    void setVisible(form::Control, bool) override {}
    void listClear(form::Control) override {}
    void listAddItem(form::Control, const QString &) override {}
    int listIndex(form::Control) const override { return -1; }
    QString listItem(form::Control, int) const override { return {}; }
    void messageBox(const QString &text, const QString &caption = QString()) override;
    QString executableBaseName() const override;

    QStringList boxes;

private:
    std::map<form::Control, QString> m_texts;
    std::map<form::Control, int> m_values;
};

} // namespace orvane::send
