#pragma once

#include "directory/DirectoryComponents.h"
#include "directory/LdapProviderOptions.h"

#include <QtGlobal>

// The libldap-backed provider is built into a module of its own, which the program loads the
// first time the search asks for a component: a start that never searches does not load
// libldap with its TLS, SASL and Kerberos libraries. The module exports this one function, on
// the terms of mail/MailModule.h: it creates the components from a copy of `options` (null
// without), the caller owns them, and the module stays loaded while they live.
extern "C" Q_DECL_EXPORT orvane::directory::DirectoryComponents *
orvane_create_directory_components(const orvane::directory::LdapProviderOptions *options);
