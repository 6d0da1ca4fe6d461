#include "app/QtTranslations.h"

#include <gtest/gtest.h>

namespace {

// What a standard dialog button says: QDialogButtonBox asks the platform theme for it.
QString cancelText(const QTranslator &translator)
{
    return translator.translate("QPlatformTheme", "Cancel");
}

TEST(QtTranslationsTest, GermanLocaleGivesQtsGermanButtons)
{
    QTranslator translator;
    ASSERT_TRUE(
            orvane::app::loadQtTranslations(translator, QLocale(QLocale::German, QLocale::Germany)))
            << "no qtbase_de.qm in Qt's translations folder (package qt6-translations-l10n)";
    EXPECT_EQ(cancelText(translator), QStringLiteral("Abbrechen"));
}

TEST(QtTranslationsTest, EnglishAndCLocalesReadNothing)
{
    for (const QLocale &locale : {QLocale::c(), QLocale(QLocale::English, QLocale::UnitedStates)}) {
        QTranslator translator;
        EXPECT_FALSE(orvane::app::loadQtTranslations(translator, locale))
                << locale.name().toStdString();
        EXPECT_TRUE(translator.isEmpty());
    }
}

} // namespace
