#include "app/QtTranslations.h"

#include <QLibraryInfo>

namespace orvane::app {

bool loadQtTranslations(QTranslator &translator, const QLocale &locale)
{
    if (locale.language() == QLocale::C || locale.language() == QLocale::English)
        return false;
    // Tries each of the locale's UI languages, most specific first (de_DE, then de).
    return translator.load(locale, QStringLiteral("qtbase"), QStringLiteral("_"),
                           QLibraryInfo::path(QLibraryInfo::TranslationsPath));
}

} // namespace orvane::app
