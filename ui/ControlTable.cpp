#include "ControlTable.h"

#include "settings/SettingsStore.h"

#include <cmath>

namespace orvane::ui {

using form::Control;
using form::controlCount;

namespace {

using K = ControlKind;
using C = Control;

constexpr bool shown = true;
constexpr bool hidden = false;
constexpr bool masked = true;
constexpr bool plain = false;

// Geometry is {left, top, width, height} in twips. The mail area fits the initial client
// area; the directory panel (cmdLdapSearch, txtLdap, lstEmail, txtLdapCon, txtLdapUser,
// txtLdapPassword) lies beyond it and comes into view when the user enlarges the window.
// clang-format off
constexpr std::array<ControlRow, controlCount> table = {{
    // control           kind                 text                      geometry                  start   mask    accessible name
    {C::txtFrom,         K::TextBox,          settings::defaultSender,  {1320,  600, 3015,  375}, shown,  plain,  "From"},
    {C::txtTo,           K::TextBox,          "",                       {1320, 1080, 3015,  375}, shown,  plain,  "To"},
    {C::txtSubject,      K::TextBox,          "",                       {1560, 2160, 4815,  375}, shown,  plain,  "Subject"},
    {C::txtAttachment,   K::TextBox,          "",                       {1560, 2640, 4815,  375}, shown,  plain,  "File Attachment"},
    {C::txtBody,         K::MultiLineTextBox, "",                       {1560, 3240, 4815, 1335}, shown,  plain,  "Message Body"},
    {C::Label1,          K::Label,            "From:",                  { 240,  720,  855,  255}, shown,  plain,  nullptr},
    {C::btnOrvane,       K::CommandButton,    "Send",                   {4440,  600, 1815,  735}, shown,  plain,  nullptr},
    {C::Label2,          K::Label,            "To:",                    { 240, 1200,  855,  255}, shown,  plain,  nullptr},
    {C::Label3,          K::Label,            "Subject:",               { 240, 2280, 1215,  255}, shown,  plain,  nullptr},
    {C::Label4,          K::Label,            "Message Body:",          { 240, 3360, 1215,  255}, shown,  plain,  nullptr},
    {C::Label5,          K::Label,            "File Attachment:",       { 240, 2760, 1215,  255}, shown,  plain,  nullptr},
    {C::lblStatus,       K::Label,            "",                       { 240, 4800, 3375,  375}, shown,  plain,  nullptr},
    {C::cmdLdapSearch,   K::CommandButton,    "LDAP Search",            {6840,  360, 1815,  375}, shown,  plain,  nullptr},
    {C::txtLdap,         K::TextBox,          "",                       {6840,  840, 1815,  375}, shown,  plain,  "Directory search: name begins with"},
    {C::lstEmail,        K::ListBox,          "",                       {6840, 1320, 1935, 3180}, shown,  plain,  "Directory search results"},
    {C::txtLdapCon,      K::TextBox,          defaultDirectoryPath,     {4560, 5400, 4575,  285}, shown,  plain,  "Directory path"},
    {C::txtLdapUser,     K::TextBox,          defaultDirectoryUser,     {4920, 5760, 1695,  285}, shown,  plain,  "Directory user name"},
    {C::txtLdapPassword, K::TextBox,          defaultDirectoryPassword, {7080, 5760, 1335,  285}, shown,  masked, "Directory password"},
    {C::txtSMTP,         K::TextBox,          "",                       {1440,  120, 2655,  285}, shown,  plain,  "SMTP Server"},
    {C::txtPort,         K::TextBox,          "25",                     {5520,  120,  735,  285}, shown,  plain,  "SMTP port"},
    {C::Label6,          K::Label,            "SMTP Server",            { 240,  120, 1095,  255}, shown,  plain,  nullptr},
    {C::Label7,          K::Label,            "SMTP port:",             {4560,  120,  855,  255}, shown,  plain,  nullptr},
    {C::chkSMTPAuth,     K::CheckBox,         "SMTP Authentication",    { 120, 1560, 1335,  495}, shown,  plain,  nullptr},
    {C::txtUsername,     K::TextBox,          "",                       {3120, 1560, 1935,  375}, hidden, plain,  "Username"},
    {C::txtPassword,     K::TextBox,          "",                       {5880, 1560,  855,  375}, hidden, masked, "Password"},
    {C::Label8,          K::Label,            "Password",               {5160, 1680,  855,  375}, hidden, plain,  nullptr},
    {C::Label9,          K::Label,            "Username",               {2280, 1680,  735,  375}, hidden, plain,  nullptr},
    {C::chkSSL,          K::CheckBox,         "SSL",                    {1560, 1560,  615,  495}, hidden, plain,  nullptr},
}};
// clang-format on

constexpr bool inTabOrder()
{
    for (std::size_t i = 0; i < table.size(); ++i) {
        if (static_cast<std::size_t>(table[i].control) != i)
            return false;
    }
    return true;
}
static_assert(inTabOrder(), "the control table must list the controls in tab order");

} // namespace

const std::array<ControlRow, controlCount> &controlTable()
{
    return table;
}

const ControlRow &controlRow(Control control)
{
    return table[static_cast<std::size_t>(control)];
}

int twipsToPixels(int twips, int dotsPerInch)
{
    return static_cast<int>(std::lround(static_cast<double>(twips) * dotsPerInch / 1440.0));
}

QRect toPixels(const TwipsRect &twips, int dpiX, int dpiY)
{
    return {twipsToPixels(twips.left, dpiX), twipsToPixels(twips.top, dpiY),
            twipsToPixels(twips.width, dpiX), twipsToPixels(twips.height, dpiY)};
}

} // namespace orvane::ui
