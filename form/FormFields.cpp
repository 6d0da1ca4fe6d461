#include "FormFields.h"

#include <array>

namespace orvane::form {

const char *controlName(Control control)
{
    static constexpr std::array<const char *, controlCount> names = {
            "txtFrom",    "txtTo",       "txtSubject",      "txtAttachment", "txtBody",
            "Label1",     "btnOrvane",   "Label2",          "Label3",        "Label4",
            "Label5",     "lblStatus",   "cmdLdapSearch",   "txtLdap",       "lstEmail",
            "txtLdapCon", "txtLdapUser", "txtLdapPassword", "txtSMTP",       "txtPort",
            "Label6",     "Label7",      "chkSMTPAuth",     "txtUsername",   "txtPassword",
            "Label8",     "Label9",      "chkSSL",
    };
    const auto index = static_cast<std::size_t>(control);
    return index < names.size() ? names[index] : "";
}

} // namespace orvane::form
