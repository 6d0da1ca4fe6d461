#pragma once

#include "mail/oauth/SignIn.h"
#include "mail/oauth/SignInOptions.h"

#include <QtGlobal>

// The sign-in is built into a module of its own, which the program loads on the first Send that
// needs a token: the password Send and the start never load QtKeychain and Qt D-Bus. As with
// the mail module, module and program are built from the same sources, so the options and the
// object cross as C++ objects.
//
// Creates the sign-in from a copy of `options`, null without options. The caller owns it.
extern "C" Q_DECL_EXPORT orvane::mail::oauth::SignIn *
orvane_create_sign_in(const orvane::mail::oauth::SignInOptions *options);
