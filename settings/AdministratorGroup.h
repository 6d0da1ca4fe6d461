#pragma once

#include <QMap>
#include <QString>

namespace orvane::settings {

// Reads, never writes, a group an administrator sets up beside the five remembered values: the
// user's settings file first, then the system-wide one (on Linux /etc/xdg/<application>/...,
// QSettings' fallback), key by key. Returns each key below the group as "Subgroup/Key" ->
// value; values that are not text are left out.
QMap<QString, QString> readAdministratorGroup(const QString &group);

} // namespace orvane::settings
