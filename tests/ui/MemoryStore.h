#pragma once

#include "settings/SettingsStore.h"

#include <map>

namespace orvane::test {

// A settings store in memory that counts its saves and can be told to fail them.
class MemoryStore : public settings::SettingsStore
{
public:
    std::optional<QString> read(const QString &, const QString &section,
                                const QString &key) override
    {
        const auto it = values.find(section + QLatin1Char('/') + key);
        if (it == values.end())
            return std::nullopt;
        return it->second;
    }
    void write(const QString &, const QString &section, const QString &key,
               const QString &value) override
    {
        values[section + QLatin1Char('/') + key] = value;
    }
    form::Status commit() override
    {
        ++commits;
        if (failCommit)
            return form::Status::failure(form::StatusKind::SettingsNotSaved, 0,
                                         QStringLiteral("the disk is full."));
        return form::Status::success();
    }

    std::map<QString, QString> values;
    int commits = 0;
    bool failCommit = false;
};

} // namespace orvane::test
