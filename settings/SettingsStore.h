#pragma once

#include "form/Status.h"

#include <QString>

#include <optional>

namespace orvane::settings {

// Where the five remembered boxes live: application, section and key names.
inline constexpr const char *applicationName = "Quarrow Orvane";
inline constexpr const char *sectionName = "Setting";

// The sender shown in a fresh window and used when no sender was stored yet.
inline constexpr const char *defaultSender = "scanner@example.com";

// The per-user settings store: text values addressed by application, section and key.
class SettingsStore
{
public:
    virtual ~SettingsStore() = default;

    // The stored text, also when it is empty; nullopt when the key is missing or its value
    // cannot be read as text.
    virtual std::optional<QString> read(const QString &application, const QString &section,
                                        const QString &key)
            = 0;

    virtual void write(const QString &application, const QString &section, const QString &key,
                       const QString &value)
            = 0;

    // Makes what was written permanent. A failure (StatusKind::SettingsNotSaved) says why in
    // words the user can act on.
    virtual form::Status commit() = 0;
};

} // namespace orvane::settings
