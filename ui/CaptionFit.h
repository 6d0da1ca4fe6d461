#pragma once

#include <QFont>
#include <QSize>
#include <QString>

namespace orvane::ui {

struct FittedCaption
{
    QString text; // with line breaks where it wraps
    QFont font;
};

// Fits a caption into a fixed box. The layout was drawn for a compact dialog font; with
// a wider platform font a caption would be cut off. In turn: the caption on one line, wrapped
// at spaces, then both again at smaller sizes down to 70% of `font`, and only then elided.
// With a font that fits, `font` comes back unchanged.
FittedCaption fitCaption(const QString &caption, const QFont &font, const QSize &room);

} // namespace orvane::ui
