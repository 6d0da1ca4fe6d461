#pragma once

#include "ui/ControlTable.h"

#include <QFont>

class QStyle;
class QWidget;

namespace orvane::ui {

// The font of the labels and check boxes: the window's own, or, where that would cut off a
// fixed caption, one size that lets every fixed caption fit (the layout was drawn for a compact
// dialog font). One size for all of them keeps the form even.
QFont captionFont(const QWidget *window);

// Creates one control of the window as the table describes it: kind, object name, text,
// geometry in pixels for the parent's resolution, masking, start visibility, accessible name,
// and no drag or drop of its own. `maskStyle` draws the masked boxes.
QWidget *createControl(const ControlRow &row, QWidget *parent, QStyle *maskStyle,
                       const QFont &captionFont);

} // namespace orvane::ui
