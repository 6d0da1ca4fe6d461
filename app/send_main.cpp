#include "app/MailModules.h"
#include "send/SendCommand.h"
#include "send/TerminalWait.h"
#include "settings/QSettingsStore.h"

#include <QCoreApplication>
#include <QProcess>
#include <QStringList>

#include <csignal>
#include <cstdio>
#include <sysexits.h>
#include <unistd.h>

namespace {

// A desktop session's browser, through xdg-open; none without a display, where the sign-in
// shows a code to enter on another device instead.
bool openDesktopBrowser(const QString &address)
{
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        return false;
    // The browser's own output would mix with ours.
    QProcess opener;
    opener.setProgram(QStringLiteral("xdg-open"));
    opener.setArguments({address});
    opener.setStandardOutputFile(QProcess::nullDevice());
    opener.setStandardErrorFile(QProcess::nullDevice());
    return opener.startDetached();
}

} // namespace

int main(int argc, char *argv[])
{
    using namespace orvane;
    // A server that closes the connection makes a write fail, not the program end.
    std::signal(SIGPIPE, SIG_IGN);
    // A daemon may start us with only its effective user switched (scanbd runs its scripts as
    // saned with root as the real user): we act as the effective user, and keep no way back
    // to the real one.
    if (getuid() != geteuid() || getgid() != getegid()) {
        const gid_t group = getegid();
        const uid_t user = geteuid();
        if (setresgid(group, group, group) != 0 || setresuid(user, user, user) != 0) {
            std::perror("orvane-send: cannot give up the real user");
            return EX_OSERR;
        }
    }

    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    // Qt reads no option of ours: only the program's name is passed on.
    char fallbackName[] = "orvane-send";
    char *programOnly[] = {argc > 0 && argv[0] ? argv[0] : fallbackName, nullptr};
    int programOnlyCount = 1;
    QCoreApplication app(programOnlyCount, programOnly);
    QCoreApplication::setApplicationName(QStringLiteral("orvane"));
    QCoreApplication::setOrganizationName(QStringLiteral("Quarrow"));

    const send::ParsedCommandLine parsed = send::parseCommandLine(arguments);
    if (!parsed.error.isEmpty()) {
        std::fprintf(stderr, "orvane-send: %s\nTry orvane-send --help.\n",
                     parsed.error.toUtf8().constData());
        return EX_USAGE;
    }

    const bool inputIsTerminal = isatty(STDIN_FILENO) == 1;
    auto wait = std::make_shared<send::TerminalWait>(stderr, isatty(STDERR_FILENO) == 1);
    const QString folder = app::moduleFolder();
    mail::oauth::SignInOptions signInOptions;
    signInOptions.wait = wait;
    signInOptions.askUser = inputIsTerminal;
    signInOptions.openBrowser = openDesktopBrowser;
    const std::shared_ptr<mail::oauth::SignIn> signIn
            = app::oauthSignIn(folder, std::move(signInOptions));
    mail::TransportOptions transport;
    transport.wait = wait;
    transport.oauthProviders = app::configuredProviders;
    transport.signIn = signIn;
    const std::shared_ptr<mail::MailComponents> components
            = app::mailComponents(folder, std::move(transport));

    settings::QSettingsStore store;
    send::SendEnvironment environment;
    environment.settings = &store;
    environment.mail = components.get();
    environment.signIn = signIn.get();
    environment.providers = app::configuredProviders;
    environment.wait = wait.get();
    environment.inputIsTerminal = inputIsTerminal;
    return send::runSendCommand(parsed.options, environment);
}
