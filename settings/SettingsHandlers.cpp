#include "SettingsHandlers.h"

#include <array>
#include <cstdio>

namespace orvane::settings {

namespace {

struct Remembered
{
    const char *key;
    form::Control box;
    const char *fallback; // returned for a missing key
};

// In the order they are read and written.
constexpr std::array<Remembered, 5> remembered = {{
        {"SMTP Server", form::Control::txtSMTP, "localhost"},
        {"Port", form::Control::txtPort, "25"},
        {"From", form::Control::txtFrom, defaultSender},
        {"To", form::Control::txtTo, ""},
        {"Subject", form::Control::txtSubject, ""},
}};

} // namespace

void Form_Load(form::FormFields &form, SettingsStore &store)
{
    const QString application = QString::fromLatin1(applicationName);
    const QString section = QString::fromLatin1(sectionName);
    for (const auto &row : remembered) {
        // A value that cannot be read (a corrupt file, a value of another type) gets the
        // default, like a missing one; the other boxes still get their stored values.
        const auto stored = store.read(application, section, QString::fromLatin1(row.key));
        form.setText(row.box, stored.value_or(QString::fromUtf8(row.fallback)));
    }
}

void Form_Unload(form::FormFields &form, SettingsStore &store, int &cancel, SaveReport report)
{
    Q_UNUSED(cancel);
    const QString application = QString::fromLatin1(applicationName);
    const QString section = QString::fromLatin1(sectionName);
    for (const auto &row : remembered)
        store.write(application, section, QString::fromLatin1(row.key), form.text(row.box));
    const form::Status saved = store.commit();
    if (saved.ok())
        return;

    const QString message = QStringLiteral("Settings could not be saved: ") + saved.description;
    if (report == SaveReport::MessageBox) {
        form.messageBox(message);
    } else {
        std::fprintf(stderr, "orvane: %s\n", qPrintable(message));
        std::fflush(stderr);
    }
}

} // namespace orvane::settings
