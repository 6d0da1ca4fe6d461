#include "WindowInteractions.h"

#include <array>

namespace orvane::ui {

using form::Control;
using form::FormFields;
using form::Ticked;

namespace {

// The authentication group, in the order it is shown or hidden.
constexpr std::array<Control, 5> authenticationGroup = {
        Control::txtUsername, Control::txtPassword, Control::Label8,
        Control::Label9,      Control::chkSSL,
};

void takeFirstFile(FormFields &form, const QStringList &files)
{
    // The window only accepts drags that carry a local file, so the list is never empty
    // here; an empty one leaves the attachment as it was rather than clearing it.
    if (files.isEmpty())
        return;
    form.setText(Control::txtAttachment, files.first());
}

} // namespace

void chkSMTPAuth_Click(FormFields &form)
{
    const bool show = form.value(Control::chkSMTPAuth) == Ticked;
    for (const Control control : authenticationGroup)
        form.setVisible(control, show);
}

void txtAttachment_OLEDragDrop(FormFields &form, const QStringList &files)
{
    takeFirstFile(form, files);
}

void txtBody_OLEDragDrop(FormFields &form, const QStringList &files)
{
    takeFirstFile(form, files);
}

} // namespace orvane::ui
