#include "DefaultComponents.h"

#include "app/ModuleComponents.h"
#include "directory/DirectoryModule.h"
#include "mail/MailModule.h"

#include <QCoreApplication>
#include <QDir>

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
    mail::TransportOptions transport;
    transport.wait = factory.wait;
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
