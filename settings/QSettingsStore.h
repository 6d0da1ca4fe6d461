#pragma once

#include "settings/SettingsStore.h"

#include <QSettings>

#include <map>
#include <memory>

namespace orvane::settings {

// The platform's per-user store through QSettings: on Linux the file
// $XDG_CONFIG_HOME/<application>/orvane.conf, on Windows the user's registry.
class QSettingsStore : public SettingsStore
{
public:
    QSettingsStore() = default;

    std::optional<QString> read(const QString &application, const QString &section,
                                const QString &key) override;
    void write(const QString &application, const QString &section, const QString &key,
               const QString &value) override;
    form::Status commit() override;

private:
    QSettings &settingsFor(const QString &application);

    std::map<QString, std::unique_ptr<QSettings>> m_settings;
};

} // namespace orvane::settings
