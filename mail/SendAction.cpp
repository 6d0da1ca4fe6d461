#include "SendAction.h"

namespace orvane::mail {

std::unique_ptr<MailComponents> makeDefaultMailComponents()
{
    return std::make_unique<MailComponents>();
}

void btnOrvane_Click(ui::FormFields &, MailComponents &) {}

} // namespace orvane::mail
