#include "GeneralDateTime.h"

namespace orvane::mail {

QString timeFormatWithoutZone(const QString &format)
{
    QString out;
    bool quoted = false;
    bool dropBlanks = false; // right after a removed zone field at the start
    for (qsizetype i = 0; i < format.size(); ++i) {
        const QChar c = format.at(i);
        if (c == u'\'') {
            quoted = !quoted;
            out += c;
            dropBlanks = false;
            continue;
        }
        if (!quoted && c == u't') {
            while (!out.isEmpty() && out.back() == u' ')
                out.chop(1);
            dropBlanks = out.isEmpty();
            continue;
        }
        if (dropBlanks && c == u' ')
            continue;
        dropBlanks = false;
        out += c;
    }
    // Formats such as "HH:mm:ss (t)" leave an empty pair of brackets behind.
    out.replace(QStringLiteral(" ()"), QString());
    out.replace(QStringLiteral("()"), QString());
    return out.trimmed();
}

QString generalDateTimeText(const QDateTime &when, const QLocale &locale)
{
    const QString timeFormat = timeFormatWithoutZone(locale.timeFormat(QLocale::LongFormat));
    return locale.toString(when.date(), QLocale::ShortFormat) + u' '
           + locale.toString(when.time(), timeFormat);
}

} // namespace orvane::mail
