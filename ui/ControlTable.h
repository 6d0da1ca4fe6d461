#pragma once

#include "form/FormFields.h"

#include <QRect>

#include <array>

namespace orvane::ui {

enum class ControlKind { TextBox, MultiLineTextBox, Label, CheckBox, CommandButton, ListBox };

// A rectangle in twips (1/1440 inch) from the top left corner of the client area.
struct TwipsRect
{
    int left;
    int top;
    int width;
    int height;
};

// One row of the control table: a control of the window as it is at start, everything the
// window builds it from.
struct ControlRow
{
    form::Control control;
    ControlKind kind;
    const char *text; // caption or initial text
    TwipsRect geometry;
    bool shownAtStart;
    bool masked;
    const char *accessibleName; // what a screen reader announces for a text box
};

inline constexpr const char *windowCaption = "Quarrow Scan to Email Demo";
inline constexpr int clientWidthTwips = 6825;
inline constexpr int clientHeightTwips = 5190;

// Starting values of the directory panel.
inline constexpr const char *defaultDirectoryPath
        = "dc01.example.local/CN=Users,DC=example,DC=local";
inline constexpr const char *defaultDirectoryUser = "scanner";
inline constexpr const char *defaultDirectoryPassword = "123";

// Every control, in tab order (the order of Control).
const std::array<ControlRow, form::controlCount> &controlTable();
const ControlRow &controlRow(form::Control control);

// Pixels = twips x dots per inch / 1440 (15 twips to the pixel at 96 dpi).
int twipsToPixels(int twips, int dotsPerInch);
QRect toPixels(const TwipsRect &twips, int dpiX, int dpiY);

} // namespace orvane::ui
