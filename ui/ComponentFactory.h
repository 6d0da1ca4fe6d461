#pragma once

#include "directory/DirectoryComponents.h"
#include "mail/MailComponents.h"

#include <memory>

namespace orvane::ui {

// What the window hands to its handlers to create their components with. The program uses
// the real libcurl / libldap components; tests pass their own (a CA file of their own, short
// time-outs, another port rule, or recording fakes).
struct ComponentFactory
{
    std::shared_ptr<mail::MailComponents> mail;
    std::shared_ptr<directory::DirectoryComponents> directory;

    static ComponentFactory defaults()
    {
        return {mail::makeDefaultMailComponents(), directory::makeDefaultDirectoryComponents()};
    }
};

} // namespace orvane::ui
