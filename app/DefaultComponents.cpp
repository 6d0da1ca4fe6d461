#include "DefaultComponents.h"

#include "directory/LdapDirectoryComponents.h"
#include "mail/CurlComponents.h"

namespace orvane::app {

ui::ComponentFactory defaultComponents()
{
    ui::ComponentFactory factory;
    mail::TransportOptions transport;
    transport.wait = factory.wait;
    factory.mail = std::make_shared<mail::CurlComponents>(std::move(transport));
    directory::LdapProviderOptions provider;
    provider.wait = factory.wait;
    factory.directory = std::make_shared<directory::LdapDirectoryComponents>(provider);
    return factory;
}

} // namespace orvane::app
