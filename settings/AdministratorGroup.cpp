#include "AdministratorGroup.h"

#include "settings/SettingsStore.h"

#include <QSettings>
#include <QStringList>

namespace orvane::settings {

QMap<QString, QString> readAdministratorGroup(const QString &group)
{
    // The same file as the five values, opened apart: nothing is set through this object, so
    // it never writes the file.
    const QSettings settings(QSettings::NativeFormat, QSettings::UserScope,
                             QLatin1String(applicationName), QStringLiteral("orvane"));
    QMap<QString, QString> keys;
    const QString prefix = group + QLatin1Char('/');
    for (const QString &key : settings.allKeys()) {
        if (!key.startsWith(prefix))
            continue;
        const QVariant value = settings.value(key);
        if (value.typeId() == QMetaType::QString)
            keys.insert(key.mid(prefix.size()), value.toString());
        else if (value.typeId() == QMetaType::QStringList)
            // An INI line with commas reads back as a list ("Servers=a, b").
            keys.insert(key.mid(prefix.size()), value.toStringList().join(QStringLiteral(", ")));
    }
    return keys;
}

} // namespace orvane::settings
