#include "CommandLineForm.h"

namespace orvane::send {

QString CommandLineForm::text(form::Control control) const
{
    const auto found = m_texts.find(control);
    return found == m_texts.end() ? QString() : found->second;
}

void CommandLineForm::setText(form::Control control, const QString &text)
{
    m_texts[control] = text;
}

int CommandLineForm::value(form::Control control) const
{
    const auto found = m_values.find(control);
    return found == m_values.end() ? form::Unticked : found->second;
}

void CommandLineForm::messageBox(const QString &text, const QString &)
{
    boxes.append(text);
}

QString CommandLineForm::executableBaseName() const
{
    return QStringLiteral("orvane-send");
}

} // namespace orvane::send
