#pragma once

#include <QLocale>
#include <QTranslator>

namespace orvane::app {

// Loads Qt's own translation (qtbase_<language>.qm, from Qt's translations folder) for the
// locale into the translator, so the standard buttons and context menus Qt draws speak the
// user's language. The program's own texts are fixed and stay as they are. Qt's texts are
// English already, so an English or C locale reads no file. Returns whether one was loaded.
bool loadQtTranslations(QTranslator &translator, const QLocale &locale);

} // namespace orvane::app
