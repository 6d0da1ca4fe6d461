#include "QSettingsStore.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>

namespace orvane::settings {

namespace {

QString keyPath(const QString &section, const QString &key)
{
    return section + QLatin1Char('/') + key;
}

// Why the file behind `settings` cannot be written, in words a user can act on.
QString writeFailureReason(const QSettings &settings)
{
    const QString file = QDir::toNativeSeparators(settings.fileName());
    const QFileInfo info(settings.fileName());
    const QString folder = info.absolutePath();
    if (!QDir().mkpath(folder)) {
        return QStringLiteral("the folder %1 could not be created.")
                .arg(QDir::toNativeSeparators(folder));
    }
    if (info.isDir())
        return QStringLiteral("%1 is a folder, not a file.").arg(file);
    if (settings.status() == QSettings::FormatError)
        return QStringLiteral("%1 is not in a format that can be written.").arg(file);
    return QStringLiteral("%1 could not be written (check the permissions of the file and its "
                          "folder, and the free disk space).")
            .arg(file);
}

} // namespace

QSettings &QSettingsStore::settingsFor(const QString &application)
{
    auto &slot = m_settings[application];
    if (!slot) {
        slot = std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                           application, QStringLiteral("orvane"));
    }
    return *slot;
}

std::optional<QString> QSettingsStore::read(const QString &application, const QString &section,
                                            const QString &key)
{
    const QVariant value = settingsFor(application).value(keyPath(section, key));
    if (!value.isValid())
        return std::nullopt;
    switch (value.typeId()) {
    case QMetaType::QString:
        return value.toString();
    case QMetaType::QStringList:
        // A hand-edited INI line "To=a@x, b@y" reads back as a list.
        return value.toStringList().join(QStringLiteral(", "));
    case QMetaType::QByteArray: {
        const QByteArray bytes = value.toByteArray();
        const QString text = QString::fromUtf8(bytes);
        if (text.toUtf8() == bytes)
            return text;
        return std::nullopt;
    }
    default:
        return std::nullopt;
    }
}

void QSettingsStore::write(const QString &application, const QString &section, const QString &key,
                           const QString &value)
{
    settingsFor(application).setValue(keyPath(section, key), value);
}

form::Status QSettingsStore::commit()
{
    for (auto &[application, settings] : m_settings) {
        // QSettings replaces its file atomically, so a failed write leaves the old file whole.
        settings->sync();
        if (settings->status() != QSettings::NoError)
            return form::Status::failure(form::StatusKind::SettingsNotSaved, settings->status(),
                                         writeFailureReason(*settings));
    }
    return form::Status::success();
}

} // namespace orvane::settings
