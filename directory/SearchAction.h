#pragma once

#include "directory/DirectoryComponents.h"
#include "ui/FormFields.h"

namespace orvane::directory {

// The LDAP Search button.
void cmdLdapSearch_Click(ui::FormFields &form, DirectoryComponents &components);

// A line of the result list picked by the user.
void lstEmail_Click(ui::FormFields &form);

} // namespace orvane::directory
