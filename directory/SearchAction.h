#pragma once

#include "directory/DirectoryComponents.h"
#include "form/FormFields.h"

namespace orvane::directory {

// The LDAP Search button.
void cmdLdapSearch_Click(form::FormFields &form, DirectoryComponents &components);

// A line of the result list picked by the user.
void lstEmail_Click(form::FormFields &form);

} // namespace orvane::directory
