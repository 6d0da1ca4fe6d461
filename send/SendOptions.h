#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace orvane::send {

// What the command line asks for. A value it does not give comes from the saved settings (the
// server, port, sender, recipient and subject) or is empty.
struct SendOptions
{
    QStringList to; // each --to, joined into one list for the To box
    std::optional<QString> from;
    std::optional<QString> subject;
    std::optional<QString> body;
    std::optional<QString> bodyFile; // "-": standard input
    std::optional<QString> server;
    std::optional<QString> port;
    bool ssl = false;
    std::optional<QString> user;
    std::optional<QString> passwordFile;
    bool passwordStdin = false;
    bool signIn = false;
    bool help = false;
    bool version = false;
    QString file; // the attachment
};

struct ParsedCommandLine
{
    SendOptions options;
    QString error; // why the command line cannot be used; empty when it can
};

// Reads the arguments after the program's name: "--name value", "--name=value", and "--"
// before a file name that begins with a dash.
ParsedCommandLine parseCommandLine(const QStringList &arguments);

// The text of --help.
QString usageText();

} // namespace orvane::send
