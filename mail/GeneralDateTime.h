#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>

namespace orvane::mail {

// The locale's general date-and-time text: short date, one space, long time without the time
// zone ("12/7/26 6:24:07 AM" in en_US, "07.12.26 06:24:07" in de_DE).
QString generalDateTimeText(const QDateTime &when, const QLocale &locale = QLocale::system());

// A Qt time format with every unquoted time-zone field (and the blanks around it) removed.
QString timeFormatWithoutZone(const QString &format);

} // namespace orvane::mail
