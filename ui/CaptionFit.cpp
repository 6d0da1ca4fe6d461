#include "CaptionFit.h"

#include <QFontMetrics>
#include <QStringList>

#include <optional>

namespace orvane::ui {

namespace {

std::optional<QString> laidOut(const QString &caption, const QFontMetrics &metrics,
                               const QSize &room)
{
    QStringList lines;
    for (const QString &word : caption.split(QLatin1Char(' '))) {
        const QString joined = lines.isEmpty() ? word : lines.last() + QLatin1Char(' ') + word;
        if (!lines.isEmpty() && metrics.horizontalAdvance(joined) <= room.width())
            lines.last() = joined;
        else
            lines.append(word);
    }
    if (lines.size() * metrics.lineSpacing() > room.height() && lines.size() > 1)
        return std::nullopt;
    for (const QString &line : lines) {
        if (metrics.horizontalAdvance(line) > room.width())
            return std::nullopt;
    }
    return lines.join(QLatin1Char('\n'));
}

} // namespace

FittedCaption fitCaption(const QString &caption, const QFont &font, const QSize &room)
{
    const qreal base = font.pointSizeF();
    if (caption.isEmpty() || base <= 0)
        return {caption, font};
    // Half-point steps down to 70% of the platform size.
    const int steps = static_cast<int>(base * 0.3 / 0.5);
    for (int step = 0; step <= steps; ++step) {
        const qreal size = base - 0.5 * step;
        QFont candidate = font;
        candidate.setPointSizeF(size);
        if (const auto text = laidOut(caption, QFontMetrics(candidate), room))
            return {*text, step == 0 ? font : candidate};
    }
    return {QFontMetrics(font).elidedText(caption, Qt::ElideRight, room.width()), font};
}

} // namespace orvane::ui
