#include "directory/DirectoryModule.h"
#include "directory/LdapDirectoryComponents.h"

orvane::directory::DirectoryComponents *
orvane_create_directory_components(const orvane::directory::LdapProviderOptions *options)
{
    return options ? new orvane::directory::LdapDirectoryComponents(*options) : nullptr;
}
