#include "SendCommand.h"

#include "mail/SendAction.h"
#include "send/CommandLineForm.h"
#include "send/ExitCode.h"
#include "settings/SettingsHandlers.h"

#include <QFile>
#include <QFileInfo>

#include <csignal>
#include <optional>
#include <sysexits.h>
#include <termios.h>
#include <unistd.h>

namespace orvane::send {

using form::Control;
using form::Result;
using form::Status;
using form::StatusKind;

namespace {

// What stops the command before anything is sent: its exit status and why.
struct Stop
{
    int code;
    QString why;
};

void print(std::FILE *stream, const QString &line)
{
    std::fputs(line.toUtf8().append('\n').constData(), stream);
    std::fflush(stream);
}

int stopped(const SendEnvironment &environment, const Stop &stop)
{
    print(environment.err, QStringLiteral("orvane-send: ") + stop.why);
    return stop.code;
}

// A file the command reads, which it may open: a regular file, or a pipe (a shell's
// <(command)).
std::optional<Stop> unreadable(const QString &path, const QString &role)
{
    const QFileInfo info(path);
    if (!info.exists())
        return Stop{EX_NOINPUT, QStringLiteral("the %1 %2 does not exist.").arg(role, path)};
    if (info.isDir())
        return Stop{EX_NOINPUT, QStringLiteral("the %1 %2 is a folder.").arg(role, path)};
    if (!info.isReadable())
        return Stop{EX_NOINPUT,
                    QStringLiteral("the %1 %2 cannot be read: permission denied.").arg(role, path)};
    return std::nullopt;
}

Result<QByteArray> readAll(std::FILE *stream)
{
    QFile file;
    if (!file.open(stream, QIODevice::ReadOnly))
        return Status::failure(StatusKind::Internal, 0, file.errorString());
    return {Status::success(), file.readAll()};
}

// The terminal's settings while a password is typed without echo, put back however the typing
// ends (Ctrl+C included).
termios savedTerminal;

void restoreTerminal(int signalNumber)
{
    tcsetattr(STDIN_FILENO, TCSANOW, &savedTerminal);
    std::signal(signalNumber, SIG_DFL);
    std::raise(signalNumber);
}

// The first line of standard input, without its line break; typed without echo at a terminal.
QString passwordFromInput(const SendEnvironment &environment, const QString &user)
{
    const bool terminal
            = environment.inputIsTerminal && tcgetattr(STDIN_FILENO, &savedTerminal) == 0;
    if (terminal) {
        std::fprintf(environment.err, "Password for %s: ", user.toUtf8().constData());
        std::fflush(environment.err);
        termios quiet = savedTerminal;
        quiet.c_lflag &= ~tcflag_t(ECHO);
        std::signal(SIGINT, restoreTerminal);
        std::signal(SIGTERM, restoreTerminal);
        tcsetattr(STDIN_FILENO, TCSANOW, &quiet);
    }
    QByteArray line;
    for (int c = std::fgetc(environment.in); c != EOF && c != '\n'; c = std::fgetc(environment.in))
        line.append(char(c));
    if (terminal) {
        tcsetattr(STDIN_FILENO, TCSANOW, &savedTerminal);
        std::signal(SIGINT, SIG_DFL);
        std::signal(SIGTERM, SIG_DFL);
        std::fputc('\n', environment.err);
    }
    if (line.endsWith('\r'))
        line.chop(1);
    return QString::fromUtf8(line);
}

// The first line of the password file, without its line break.
std::optional<Stop> passwordFromFile(const QString &path, QString &password)
{
    if (std::optional<Stop> stop = unreadable(path, QStringLiteral("password file")))
        return stop;
    // Like an SSH key: a password every user of the machine can read is no secret.
    if (const QFileInfo info(path); info.isFile() && info.permissions() & QFileDevice::ReadOther)
        return Stop{EX_CONFIG, QStringLiteral("the password file %1 can be read by every user "
                                              "of this machine; make it private first "
                                              "(chmod 600 %1).")
                                       .arg(path)};
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return Stop{EX_NOINPUT, QStringLiteral("the password file %1 cannot be read: %2")
                                        .arg(path, file.errorString())};
    QByteArray line = file.readLine();
    while (line.endsWith('\n') || line.endsWith('\r'))
        line.chop(1);
    password = QString::fromUtf8(line);
    return std::nullopt;
}

// Fills the form as the window would be after Form_Load and the user's typing.
std::optional<Stop> fillForm(CommandLineForm &form, const SendOptions &o,
                             const SendEnvironment &environment)
{
    settings::Form_Load(form, *environment.settings);
    if (!o.to.isEmpty())
        form.setText(Control::txtTo, o.to.join(QStringLiteral(", ")));
    const auto fill = [&form](Control control, const std::optional<QString> &value) {
        if (value)
            form.setText(control, *value);
    };
    fill(Control::txtFrom, o.from);
    fill(Control::txtSubject, o.subject);
    fill(Control::txtSMTP, o.server);
    fill(Control::txtPort, o.port);
    fill(Control::txtBody, o.body);
    form.setValue(Control::chkSSL, o.ssl ? form::Ticked : form::Unticked);
    form.setValue(Control::chkSMTPAuth, o.user ? form::Ticked : form::Unticked);
    fill(Control::txtUsername, o.user);
    form.setText(Control::txtAttachment, o.file);

    if (o.passwordFile) {
        QString password;
        if (std::optional<Stop> stop = passwordFromFile(*o.passwordFile, password))
            return stop;
        form.setText(Control::txtPassword, password);
    } else if (o.passwordStdin) {
        form.setText(Control::txtPassword, passwordFromInput(environment, *o.user));
    }

    if (o.bodyFile == QStringLiteral("-")) {
        const Result<QByteArray> body = readAll(environment.in);
        if (!body.ok())
            return Stop{EX_NOINPUT, QStringLiteral("standard input cannot be read: ")
                                            + body.status.description};
        form.setText(Control::txtBody, QString::fromUtf8(body.value));
    } else if (o.bodyFile) {
        if (std::optional<Stop> stop = unreadable(*o.bodyFile, QStringLiteral("body file")))
            return stop;
        QFile file(*o.bodyFile);
        if (!file.open(QIODevice::ReadOnly))
            return Stop{EX_NOINPUT, QStringLiteral("the body file %1 cannot be read: %2")
                                            .arg(*o.bodyFile, file.errorString())};
        form.setText(Control::txtBody, QString::fromUtf8(file.readAll()));
    }
    return std::nullopt;
}

// The file test of the mail components, made stricter: a script's scan never goes without its
// pages, so a missing attachment fails the send where the window would ask and send without.
class StrictFileSystem : public mail::FileSystem
{
public:
    explicit StrictFileSystem(std::unique_ptr<mail::FileSystem> files)
        : m_files(std::move(files))
    {}

    Result<bool> fileExists(const QString &path) override
    {
        const Result<bool> exists = m_files->fileExists(path);
        if (exists.ok() && !exists.value)
            return Status::failure(StatusKind::Attachment, 0,
                                   QStringLiteral("The attachment \"%1\" cannot be found. The "
                                                  "message was not sent.")
                                           .arg(path));
        return exists;
    }

private:
    std::unique_ptr<mail::FileSystem> m_files;
};

class StrictAttachment : public mail::MailComponents
{
public:
    explicit StrictAttachment(mail::MailComponents &components)
        : m_components(components)
    {}

    Result<std::unique_ptr<mail::Message>> createMessage() override
    {
        return m_components.createMessage();
    }
    Result<std::unique_ptr<mail::FileSystem>> createFileSystem() override
    {
        auto files = m_components.createFileSystem();
        if (!files.ok())
            return files.status;
        return {Status::success(), std::make_unique<StrictFileSystem>(std::move(files.value))};
    }

private:
    mail::MailComponents &m_components;
};

QString failureText(const CommandLineForm &form, const Status &status, const SendOptions &o)
{
    const QString text = mail::failureBoxText(form, status.description);
    if (status.kind != StatusKind::SignInNeeded)
        return text;
    if (o.signIn)
        return text + QStringLiteral(" Run orvane-send --sign-in in a terminal: it asks there.");
    return text
           + QStringLiteral(" The message was not sent: orvane-send cannot ask for a sign-in "
                            "here, as standard input is not a terminal. Send once from the "
                            "orvane window, or run \"orvane-send --sign-in --user %1\" in a "
                            "terminal on the desktop; later sends then sign in by themselves.")
                     .arg(mail::trimSpaces(*o.user));
}

int send(const SendOptions &o, const SendEnvironment &environment)
{
    CommandLineForm form;
    if (std::optional<Stop> stop = fillForm(form, o, environment))
        return stopped(environment, *stop);
    if (mail::trimSpaces(form.text(Control::txtFrom)).isEmpty()
        || mail::trimSpaces(form.text(Control::txtTo)).isEmpty())
        return stopped(environment, {EX_DATAERR, QString::fromLatin1(mail::blankAddressText)});

    StrictAttachment components(*environment.mail);
    const Result<mail::Message::Receipt> sent = mail::sendForm(form, components);
    if (environment.wait)
        environment.wait->finish();
    for (const QString &box : std::as_const(form.boxes))
        print(environment.err, QStringLiteral("orvane-send: ") + box);
    if (!sent.ok()) {
        print(environment.err, failureText(form, sent.status, o));
        return exitCodeFor(sent.status);
    }

    const QFileInfo file(o.file);
    QString line = QStringLiteral("Sent %1 (%2 bytes; message %3 bytes) to %4 through %5:%6: %7")
                           .arg(file.fileName())
                           .arg(file.size())
                           .arg(sent.value.size)
                           .arg(mail::trimSpaces(form.text(Control::txtTo)),
                                mail::trimSpaces(form.text(Control::txtSMTP)),
                                mail::trimSpaces(form.text(Control::txtPort)), sent.value.reply);
    if (!sent.value.remark.isEmpty())
        line += QStringLiteral("  ") + sent.value.remark;
    print(environment.out, line);
    return EX_OK;
}

int signIn(const SendOptions &o, const SendEnvironment &environment)
{
    CommandLineForm form;
    settings::Form_Load(form, *environment.settings);
    const QString server = mail::trimSpaces(o.server.value_or(form.text(Control::txtSMTP)));
    const QString user = mail::trimSpaces(*o.user);
    const mail::oauth::ProviderTable providers = environment.providers();
    const mail::oauth::ConfiguredProvider *entry = providers.forServer(server);
    if (!entry)
        return stopped(environment,
                       {EX_CONFIG, QStringLiteral("no OAuth provider is configured for the SMTP "
                                                  "server %1. An administrator names it in the "
                                                  "[OAuth] group of the settings file (man "
                                                  "orvane, OAUTH SIGN-IN).")
                                           .arg(server)});
    if (!entry->problem.isEmpty())
        return stopped(environment, {EX_CONFIG, entry->problem});

    const Result<QByteArray> token = environment.signIn->accessToken(entry->provider, user);
    if (!token.ok()) {
        print(environment.err, failureText(form, token.status, o));
        return exitCodeFor(token.status);
    }
    if (!environment.signIn->takeRemark().isEmpty())
        return stopped(environment,
                       {EX_UNAVAILABLE,
                        QStringLiteral("signed in to %1 as %2, but this session has no Secret "
                                       "Service (GNOME Keyring, KWallet) to keep the sign-in "
                                       "in, so later runs cannot use it. Run --sign-in in a "
                                       "desktop session that has one.")
                                .arg(entry->provider.name, user)});
    print(environment.out,
          QStringLiteral("Signed in to %1 as %2; the sign-in is kept in the desktop's secret "
                         "store for orvane and orvane-send.")
                  .arg(entry->provider.name, user));
    return EX_OK;
}

} // namespace

int runSendCommand(const SendOptions &options, const SendEnvironment &environment)
{
    if (options.help) {
        std::fputs(usageText().toUtf8().constData(), environment.out);
        return EX_OK;
    }
    if (options.version) {
        print(environment.out, QStringLiteral("orvane-send " ORVANE_VERSION));
        return EX_OK;
    }
    return options.signIn ? signIn(options, environment) : send(options, environment);
}

} // namespace orvane::send
