#pragma once

#include "ui/ComponentFactory.h"

namespace orvane::app {

// The components the program runs with: mail over libcurl and the local file system, the
// directory over libldap, both waiting on the network through the factory's relay. Only the
// entry point (and what stands in for it) knows these concrete classes.
ui::ComponentFactory defaultComponents();

} // namespace orvane::app
