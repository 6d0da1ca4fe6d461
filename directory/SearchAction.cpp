#include "SearchAction.h"

namespace orvane::directory {

std::unique_ptr<DirectoryComponents> makeDefaultDirectoryComponents()
{
    return std::make_unique<DirectoryComponents>();
}

void cmdLdapSearch_Click(ui::FormFields &, DirectoryComponents &) {}

void lstEmail_Click(ui::FormFields &) {}

} // namespace orvane::directory
