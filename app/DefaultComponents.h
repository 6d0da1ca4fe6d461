#pragma once

#include "app/MailModules.h"
#include "ui/ComponentFactory.h"

#include <QString>

namespace orvane::app {

// The components the program runs with: mail over libcurl and the local file system, the
// directory over libldap, both waiting on the network through the factory's relay. Each comes
// from its module in `folder`, loaded the first time a handler asks for an object, so that the
// window starts with Qt and the program alone. Only the entry point (and what stands in for
// it) knows these components.
ui::ComponentFactory defaultComponents(const QString &folder = moduleFolder());

} // namespace orvane::app
