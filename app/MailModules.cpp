#include "MailModules.h"

#include "app/ModuleComponents.h"
#include "mail/MailModule.h"
#include "mail/oauth/OAuthModule.h"
#include "settings/AdministratorGroup.h"

#include <QCoreApplication>
#include <QDir>

#include <type_traits>

namespace orvane::app {

namespace {

using form::Result;
using form::Status;
using form::StatusKind;

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

} // namespace

QString modulePath(const QString &folder, const char *file)
{
    // Only a folder named in full: a relative one would be looked for in the current folder.
    return QDir::isAbsolutePath(folder) ? folder + QLatin1Char('/') + QLatin1String(file)
                                        : QString();
}

QString moduleFolder()
{
    const QString programFolder = QCoreApplication::applicationDirPath();
    if (programFolder.isEmpty())
        return {};
    // The build tree keeps the modules below its top as an installation keeps them below its
    // prefix, and the programs one folder down in each: the same path leads there from both.
    return QDir::cleanPath(programFolder + QStringLiteral("/" ORVANE_MODULE_FROM_PROGRAM));
}

std::shared_ptr<mail::MailComponents> mailComponents(const QString &folder,
                                                     mail::TransportOptions options)
{
    return std::make_shared<LazyMailComponents>(
            modulePath(folder, ORVANE_MAIL_MODULE), "orvane_create_mail_components",
            Status::failure(StatusKind::Internal, 0,
                            QStringLiteral("The mail component could not be loaded: ")),
            std::move(options));
}

std::shared_ptr<mail::oauth::SignIn> oauthSignIn(const QString &folder,
                                                 mail::oauth::SignInOptions options)
{
    return std::make_shared<LazySignIn>(
            modulePath(folder, ORVANE_OAUTH_MODULE), "orvane_create_sign_in",
            Status::failure(StatusKind::Internal, 0,
                            QStringLiteral("The OAuth sign-in could not be loaded: ")),
            std::move(options));
}

mail::oauth::ProviderTable configuredProviders()
{
    return mail::oauth::ProviderTable::fromKeys(
            settings::readAdministratorGroup(QStringLiteral("OAuth")));
}

} // namespace orvane::app
