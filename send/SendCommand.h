#pragma once

#include "mail/MailComponents.h"
#include "mail/oauth/ProviderTable.h"
#include "mail/oauth/SignIn.h"
#include "send/SendOptions.h"
#include "send/TerminalWait.h"
#include "settings/SettingsStore.h"

#include <cstdio>
#include <functional>

namespace orvane::send {

// What the command works with: the program hands in the real ones.
struct SendEnvironment
{
    settings::SettingsStore *settings = nullptr; // read only: nothing is written or committed
    mail::MailComponents *mail = nullptr;
    mail::oauth::SignIn *signIn = nullptr; // for --sign-in
    std::function<mail::oauth::ProviderTable()> providers;
    TerminalWait *wait = nullptr; // its bar is cleared before anything else is printed
    std::FILE *in = stdin;
    std::FILE *out = stdout;
    std::FILE *err = stderr;
    bool inputIsTerminal = false;
};

// Runs the command line: the Send with the saved values and the options, or --sign-in, --help,
// --version. Prints one line on `out` on success and the reason on `err` otherwise; returns the
// exit status (sysexits.h).
int runSendCommand(const SendOptions &options, const SendEnvironment &environment);

} // namespace orvane::send
