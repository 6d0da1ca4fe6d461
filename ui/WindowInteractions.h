#pragma once

#include "form/FormFields.h"

#include <QStringList>

namespace orvane::ui {

// The SMTP Authentication box shows or hides the user name, password and SSL controls.
// Only visibility changes; texts and ticks stay as they are.
void chkSMTPAuth_Click(form::FormFields &form);

// Files dropped on the attachment or the body box: the first local path (native
// separators) becomes the attachment. `files` is the drop's file list in its own order.
void txtAttachment_OLEDragDrop(form::FormFields &form, const QStringList &files);
void txtBody_OLEDragDrop(form::FormFields &form, const QStringList &files);

} // namespace orvane::ui
