#include "MaskStyle.h"

namespace orvane::ui {

MaskStyle::MaskStyle() = default;

int MaskStyle::styleHint(StyleHint hint, const QStyleOption *option, const QWidget *widget,
                         QStyleHintReturn *returnData) const
{
    if (hint == SH_LineEdit_PasswordCharacter)
        return '*';
    // A masked character is never shown for a moment after it is typed.
    if (hint == SH_LineEdit_PasswordMaskDelay)
        return 0;
    return QProxyStyle::styleHint(hint, option, widget, returnData);
}

} // namespace orvane::ui
