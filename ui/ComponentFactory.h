#pragma once

#include "form/NetworkWaitRelay.h"

#include <memory>

namespace orvane::mail {
class MailComponents;
}
namespace orvane::directory {
class DirectoryComponents;
}

namespace orvane::ui {

// What the window hands to its handlers to create their components with. The window knows
// only the interfaces: the program fills in the real libcurl / libldap components (see
// app/DefaultComponents.h), tests their own (a CA file of their own, short time-outs,
// another port rule, or recording fakes).
struct ComponentFactory
{
    std::shared_ptr<mail::MailComponents> mail;
    std::shared_ptr<directory::DirectoryComponents> directory;
    // The components wait on the network through this; the window that receives the factory
    // points it at its own wait. Components made without it wait on the calling thread.
    std::shared_ptr<form::NetworkWaitRelay> wait = std::make_shared<form::NetworkWaitRelay>();
};

} // namespace orvane::ui
