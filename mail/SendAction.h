#pragma once

#include "mail/MailComponents.h"
#include "ui/FormFields.h"

namespace orvane::mail {

// The Send button.
void btnOrvane_Click(ui::FormFields &form, MailComponents &components);

} // namespace orvane::mail
