#pragma once

#include "directory/LdapDirectoryComponents.h"
#include "mail/CurlComponents.h"
#include "ui/NetworkWaitRelay.h"

#include <memory>

namespace orvane::ui {

// What the window hands to its handlers to create their components with. The program uses
// the real libcurl / libldap components; tests pass their own (a CA file of their own, short
// time-outs, another port rule, or recording fakes).
struct ComponentFactory
{
    std::shared_ptr<mail::MailComponents> mail;
    std::shared_ptr<directory::DirectoryComponents> directory;
    // The components wait on the network through this; the window that receives the factory
    // points it at its own wait. Components made without it wait on the calling thread.
    std::shared_ptr<NetworkWaitRelay> wait = std::make_shared<NetworkWaitRelay>();

    static ComponentFactory defaults()
    {
        ComponentFactory factory;
        mail::TransportOptions transport;
        transport.wait = factory.wait;
        factory.mail = std::make_shared<mail::CurlComponents>(std::move(transport));
        directory::LdapProviderOptions provider;
        provider.wait = factory.wait;
        factory.directory = std::make_shared<directory::LdapDirectoryComponents>(provider);
        return factory;
    }
};

} // namespace orvane::ui
