#pragma once

#include "mail/MailComponents.h"
#include "mail/TransportOptions.h"
#include "mail/oauth/ProviderTable.h"
#include "mail/oauth/SignIn.h"
#include "mail/oauth/SignInOptions.h"

#include <QString>

#include <memory>

namespace orvane::app {

// Where the program's component modules are, found from the executable's own folder: where the
// installation put them, or in the build tree for the program built there. Never the current
// folder or the environment. A program deeper in the build tree (a test) names the folder.
QString moduleFolder();

// The module file in `folder`; empty unless the folder is an absolute path.
QString modulePath(const QString &folder, const char *file);

// The mail components (the message over libcurl, the local file system) from their module in
// `folder`, loaded the first time one is asked for. Both programs send through these.
std::shared_ptr<mail::MailComponents> mailComponents(const QString &folder,
                                                     mail::TransportOptions options);

// The OAuth 2.0 sign-in from its module in `folder`, loaded on the first send that signs in.
std::shared_ptr<mail::oauth::SignIn> oauthSignIn(const QString &folder,
                                                 mail::oauth::SignInOptions options);

// The administrator's OAuth group of the settings file, read afresh at each call.
mail::oauth::ProviderTable configuredProviders();

} // namespace orvane::app
