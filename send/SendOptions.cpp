#include "SendOptions.h"

#include <functional>
#include <map>

namespace orvane::send {

namespace {

using Setter = std::function<void(SendOptions &, const QString &)>;

// Options that take a value.
const std::map<QString, Setter> &valueOptions()
{
    static const std::map<QString, Setter> options{
            {QStringLiteral("to"), [](SendOptions &o, const QString &v) { o.to.append(v); }},
            {QStringLiteral("from"), [](SendOptions &o, const QString &v) { o.from = v; }},
            {QStringLiteral("subject"), [](SendOptions &o, const QString &v) { o.subject = v; }},
            {QStringLiteral("body"), [](SendOptions &o, const QString &v) { o.body = v; }},
            {QStringLiteral("body-file"), [](SendOptions &o, const QString &v) { o.bodyFile = v; }},
            {QStringLiteral("server"), [](SendOptions &o, const QString &v) { o.server = v; }},
            {QStringLiteral("port"), [](SendOptions &o, const QString &v) { o.port = v; }},
            {QStringLiteral("user"), [](SendOptions &o, const QString &v) { o.user = v; }},
            {QStringLiteral("password-file"),
             [](SendOptions &o, const QString &v) { o.passwordFile = v; }},
    };
    return options;
}

// Options that stand alone.
const std::map<QString, bool SendOptions::*> &flagOptions()
{
    static const std::map<QString, bool SendOptions::*> options{
            {QStringLiteral("ssl"), &SendOptions::ssl},
            {QStringLiteral("password-stdin"), &SendOptions::passwordStdin},
            {QStringLiteral("sign-in"), &SendOptions::signIn},
            {QStringLiteral("help"), &SendOptions::help},
            {QStringLiteral("version"), &SendOptions::version},
    };
    return options;
}

// Combinations that cannot work, checked once every argument is read.
QString conflict(const SendOptions &o)
{
    if (o.help || o.version)
        return {};
    if (o.passwordStdin && o.passwordFile)
        return QStringLiteral("--password-file and --password-stdin cannot both give the "
                              "password.");
    if ((o.passwordStdin || o.passwordFile) && !o.user)
        return QStringLiteral("a password needs --user, the name to log in with.");
    if (o.passwordStdin && o.bodyFile == QStringLiteral("-"))
        return QStringLiteral("--password-stdin and --body-file - cannot both read standard "
                              "input.");
    if (o.body && o.bodyFile)
        return QStringLiteral("--body and --body-file cannot both give the body.");
    if (o.signIn) {
        if (!o.user)
            return QStringLiteral("--sign-in needs --user, the mailbox to sign in as.");
        if (!o.file.isEmpty())
            return QStringLiteral("--sign-in sends nothing, so it takes no file.");
        return {};
    }
    if (o.file.isEmpty())
        return QStringLiteral("name the file to send.");
    return {};
}

} // namespace

ParsedCommandLine parseCommandLine(const QStringList &arguments)
{
    ParsedCommandLine parsed;
    SendOptions &o = parsed.options;
    QStringList files;
    bool optionsEnded = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        if (optionsEnded || !argument.startsWith(QLatin1String("--"))) {
            if (!optionsEnded && argument.startsWith(u'-') && argument.size() > 1) {
                parsed.error = QStringLiteral("unknown option %1.").arg(argument);
                return parsed;
            }
            files.append(argument);
            continue;
        }
        if (argument == QLatin1String("--")) {
            optionsEnded = true;
            continue;
        }
        const qsizetype equals = argument.indexOf(u'=');
        const QString name = argument.mid(2, equals < 0 ? -1 : equals - 2);
        if (const auto flag = flagOptions().find(name); flag != flagOptions().end()) {
            if (equals >= 0) {
                parsed.error = QStringLiteral("--%1 takes no value.").arg(name);
                return parsed;
            }
            o.*(flag->second) = true;
            continue;
        }
        const auto option = valueOptions().find(name);
        if (option == valueOptions().end()) {
            parsed.error = name == QLatin1String("password")
                                   ? QStringLiteral("there is no --password: a password on the "
                                                    "command line can be read by every user of "
                                                    "this machine. Use --password-file or "
                                                    "--password-stdin.")
                                   : QStringLiteral("unknown option --%1.").arg(name);
            return parsed;
        }
        if (equals < 0 && i + 1 >= arguments.size()) {
            parsed.error = QStringLiteral("--%1 needs a value.").arg(name);
            return parsed;
        }
        option->second(o, equals >= 0 ? argument.mid(equals + 1) : arguments.at(++i));
    }
    if (files.size() > 1) {
        parsed.error = QStringLiteral("one file at a time: %1 were named.").arg(files.size());
        return parsed;
    }
    o.file = files.value(0);
    parsed.error = conflict(o);
    return parsed;
}

QString usageText()
{
    return QStringLiteral(
            "Usage: orvane-send [OPTIONS] FILE\n"
            "       orvane-send --sign-in --user ADDRESS [--server HOST] [--port PORT] [--ssl]\n"
            "Sends FILE by e-mail as orvane's Send button does, with the server, port, sender,\n"
            "recipient and subject saved by the orvane window unless options give others.\n"
            "\n"
            "  --to ADDRESS          recipient (repeat it, or give a list)\n"
            "  --from ADDRESS        sender\n"
            "  --subject TEXT        subject\n"
            "  --body TEXT           message body\n"
            "  --body-file FILE      message body from FILE, - for standard input\n"
            "  --server HOST         SMTP server\n"
            "  --port PORT           SMTP port\n"
            "  --ssl                 TLS (implicit on port 465, STARTTLS on any other)\n"
            "  --user NAME           log in as NAME; without a password, OAuth sign-in where\n"
            "                        one is configured for the server\n"
            "  --password-file FILE  the password is the first line of FILE\n"
            "  --password-stdin      the password is the first line of standard input\n"
            "  --sign-in             sign in with OAuth and keep the sign-in; send nothing\n"
            "  --help, --version\n"
            "\n"
            "Exit status as in sysexits.h: 0 sent, 75 try again later; see orvane-send(1).\n");
}

} // namespace orvane::send
