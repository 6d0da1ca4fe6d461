#pragma once

#include "mail/MailComponents.h"
#include "mail/TransportOptions.h"

#include <QtGlobal>

// The libcurl-backed components are built into a module of their own, which the program loads
// the first time the Send action asks for a component: a start that never sends does not load
// libcurl with its TLS, SSH, HTTP/2 and IDN libraries. The module exports this one function.
// Module and program are built from the same sources, compiler and Qt, so the options and the
// object cross as C++ objects (and an exception as from any C++ function); the C name only
// spares the look-up a mangled one.
//
// Creates the components from a copy of `options`, null without options. The caller owns the
// object; it runs the module's code, so the module stays loaded as long as the object (or
// anything it created) lives.
extern "C" Q_DECL_EXPORT orvane::mail::MailComponents *
orvane_create_mail_components(const orvane::mail::TransportOptions *options);
