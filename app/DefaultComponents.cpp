#include "DefaultComponents.h"

#include "app/ModuleComponents.h"
#include "directory/DirectoryModule.h"
#include "mail/MailModule.h"
#include "mail/oauth/OAuthModule.h"
#include "settings/AdministratorGroup.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QUrl>

#include <type_traits>

namespace orvane::app {

namespace {

using form::Result;
using form::Status;
using form::StatusKind;

// The two sets of components, each from its module.
class LazyMailComponents final
    : public ModuleComponents<mail::MailComponents, mail::TransportOptions>
{
public:
    using ModuleComponents::ModuleComponents;

    Result<std::unique_ptr<mail::Message>> createMessage() override
    {
        return create(&MailComponents::createMessage);
    }
    Result<std::unique_ptr<mail::FileSystem>> createFileSystem() override
    {
        return create(&MailComponents::createFileSystem);
    }
};
static_assert(
        std::is_same_v<LazyMailComponents::EntryPoint, decltype(&orvane_create_mail_components)>);

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

// The OAuth sign-in, from its module: loaded on the first Send that signs in with OAuth.
class LazySignIn final : public ModuleComponents<mail::oauth::SignIn, mail::oauth::SignInOptions>
{
public:
    using ModuleComponents::ModuleComponents;

    Result<QByteArray> accessToken(const mail::oauth::Provider &provider,
                                   const QString &user) override
    {
        return create(&SignIn::accessToken, provider, user);
    }
    QString takeRemark() override
    {
        SignIn *signIn = loadedComponents();
        return signIn ? signIn->takeRemark() : QString();
    }
};
static_assert(std::is_same_v<LazySignIn::EntryPoint, decltype(&orvane_create_sign_in)>);

// The administrator's OAuth group, read afresh at each send that may need it.
mail::oauth::ProviderTable configuredProviders()
{
    return mail::oauth::ProviderTable::fromKeys(
            settings::readAdministratorGroup(QStringLiteral("OAuth")));
}

} // namespace

QString moduleFolder()
{
    const QString programFolder = QCoreApplication::applicationDirPath();
    if (programFolder.isEmpty())
        return {};
    // The build tree keeps the modules below its top as an installation keeps them below its
    // prefix, and the program one folder down in each: the same path leads there from both.
    return QDir::cleanPath(programFolder + QStringLiteral("/" ORVANE_MODULE_FROM_PROGRAM));
}

ui::ComponentFactory defaultComponents(const QString &folder)
{
    // Only a folder named in full: a relative one would be looked for in the current folder.
    const auto module = [&folder](const char *file) {
        return QDir::isAbsolutePath(folder) ? folder + QLatin1Char('/') + QLatin1String(file)
                                            : QString();
    };
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
    transport.signIn = std::make_shared<LazySignIn>(
            module(ORVANE_OAUTH_MODULE), "orvane_create_sign_in",
            Status::failure(StatusKind::Internal, 0,
                            QStringLiteral("The OAuth sign-in could not be loaded: ")),
            std::move(signIn));
    factory.mail = std::make_shared<LazyMailComponents>(
            module(ORVANE_MAIL_MODULE), "orvane_create_mail_components",
            Status::failure(StatusKind::Internal, 0,
                            QStringLiteral("The mail component could not be loaded: ")),
            std::move(transport));
    directory::LdapProviderOptions provider;
    provider.wait = factory.wait;
    factory.directory = std::make_shared<LazyDirectoryComponents>(
            module(ORVANE_DIRECTORY_MODULE), "orvane_create_directory_components",
            Status::failure(StatusKind::ProviderUnavailable, 0,
                            QStringLiteral("The directory component could not be loaded: ")),
            std::move(provider));
    return factory;
}

} // namespace orvane::app
