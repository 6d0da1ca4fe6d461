#pragma once

#include "ui/ControlTable.h"

class QStyle;
class QWidget;

namespace orvane::ui {

// Creates one control of the window as the table describes it: kind, object name, text,
// geometry in pixels for the parent's resolution, masking, start visibility, accessible name,
// and no drag or drop of its own. `maskStyle` draws the masked boxes.
QWidget *createControl(const ControlSpec &spec, QWidget *parent, QStyle *maskStyle);

} // namespace orvane::ui
