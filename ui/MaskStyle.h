#pragma once

#include <QProxyStyle>

namespace orvane::ui {

// The platform style, except that masked boxes show every character as '*'.
class MaskStyle : public QProxyStyle
{
    Q_OBJECT

public:
    MaskStyle();

    int styleHint(StyleHint hint, const QStyleOption *option = nullptr,
                  const QWidget *widget = nullptr,
                  QStyleHintReturn *returnData = nullptr) const override;
};

} // namespace orvane::ui
