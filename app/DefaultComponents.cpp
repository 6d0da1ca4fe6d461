#include "DefaultComponents.h"

#include "app/MailModules.h"
#include "app/ModuleComponents.h"
#include "directory/DirectoryModule.h"

#include <QDesktopServices>
#include <QUrl>

#include <type_traits>

namespace orvane::app {

namespace {

using form::Result;
using form::Status;
using form::StatusKind;

// The directory's components, from their module.
class LazyDirectoryComponents final
    : public ModuleComponents<directory::DirectoryComponents, directory::LdapProviderOptions>
{
public:
    using ModuleComponents::ModuleComponents;

    Result<std::unique_ptr<directory::Connection>> createConnection() override
    {
        return create(&DirectoryComponents::createConnection);
    }
    Result<std::unique_ptr<directory::Command>> createCommand() override
    {
        return create(&DirectoryComponents::createCommand);
    }
};
static_assert(std::is_same_v<LazyDirectoryComponents::EntryPoint,
                             decltype(&orvane_create_directory_components)>);

} // namespace

ui::ComponentFactory defaultComponents(const QString &folder)
{
    ui::ComponentFactory factory;
    mail::oauth::SignInOptions signIn;
    signIn.wait = factory.wait;
    // The desktop's default browser: the desktop's own opener, xdg-open, or $BROWSER.
    signIn.openBrowser = [](const QString &address) {
        return QDesktopServices::openUrl(QUrl(address, QUrl::StrictMode));
    };
    mail::TransportOptions transport;
    transport.wait = factory.wait;
    transport.oauthProviders = configuredProviders;
    transport.signIn = oauthSignIn(folder, std::move(signIn));
    factory.mail = mailComponents(folder, std::move(transport));
    directory::LdapProviderOptions provider;
    provider.wait = factory.wait;
    factory.directory = std::make_shared<LazyDirectoryComponents>(
            modulePath(folder, ORVANE_DIRECTORY_MODULE), "orvane_create_directory_components",
            Status::failure(StatusKind::ProviderUnavailable, 0,
                            QStringLiteral("The directory component could not be loaded: ")),
            std::move(provider));
    return factory;
}

} // namespace orvane::app
