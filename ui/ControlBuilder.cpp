#include "ControlBuilder.h"

#include "ui/BodyEdit.h"
#include "ui/CaptionFit.h"
#include "ui/PickList.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>

#include <limits>

namespace orvane::ui {

using form::Control;
using form::controlName;

namespace {

QWidget *createTextBox(const ControlRow &row, QWidget *parent, QStyle *maskStyle)
{
    auto *box = new QLineEdit(QString::fromUtf8(row.text), parent);
    // A text box holds any length of text (Qt's own limit is 32,767 characters).
    box->setMaxLength(std::numeric_limits<int>::max());
    box->setDragEnabled(false);
    box->setAcceptDrops(false);
    box->setAccessibleName(QString::fromUtf8(row.accessibleName));
    box->setCursorPosition(0); // a long default path shows its beginning
    if (row.masked) {
        box->setStyle(maskStyle);
        box->setEchoMode(QLineEdit::Password);
        box->setAttribute(Qt::WA_InputMethodEnabled, false);
    }
    return box;
}

QWidget *createBody(const ControlRow &row, QWidget *parent)
{
    auto *body = new BodyEdit(parent);
    body->setPlainText(QString::fromUtf8(row.text));
    body->setAccessibleName(QString::fromUtf8(row.accessibleName));
    body->setAcceptDrops(false);
    body->viewport()->setAcceptDrops(false);
    return body;
}

bool hasFixedCaption(const ControlRow &row)
{
    return (row.kind == ControlKind::Label && row.control != Control::lblStatus)
           || row.kind == ControlKind::CheckBox;
}

// The room a caption has in its control: a check box's square takes part of its width.
QSize captionRoom(const ControlRow &row, const QWidget *window)
{
    const QSize size = toPixels(row.geometry, window->logicalDpiX(), window->logicalDpiY()).size();
    if (row.kind != ControlKind::CheckBox)
        return size;
    const QStyle *style = window->style();
    const int indicator = style->pixelMetric(QStyle::PM_IndicatorWidth)
                          + style->pixelMetric(QStyle::PM_CheckBoxLabelSpacing) + 2;
    return {size.width() - indicator, size.height()};
}

void setCaptionFont(QWidget *control, const QFont &font)
{
    if (font != control->font())
        control->setFont(font);
}

QWidget *createLabel(const ControlRow &row, QWidget *parent, const QFont &font)
{
    auto *label = new QLabel(parent);
    // The status line shows server replies and paths: never read them as markup.
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setFocusPolicy(Qt::NoFocus);
    if (row.control == Control::lblStatus) {
        // Written while the program runs: long texts wrap onto its second line. It keeps the
        // window's font, as it is no fixed caption: a server's reply must stay readable.
        label->setWordWrap(true);
        return label;
    }
    setCaptionFont(label, font);
    label->setText(fitCaption(QString::fromUtf8(row.text), font, captionRoom(row, parent)).text);
    return label;
}

QWidget *createCheckBox(const ControlRow &row, QWidget *parent, const QFont &font)
{
    auto *box = new QCheckBox(parent);
    const QString caption = QString::fromUtf8(row.text);
    box->setAccessibleName(caption);
    box->setTristate(false);
    setCaptionFont(box, font);
    box->setText(fitCaption(caption, font, captionRoom(row, parent)).text);
    return box;
}

QWidget *createButton(const ControlRow &row, QWidget *parent)
{
    auto *button = new QPushButton(QString::fromUtf8(row.text), parent);
    // No button is the window's default: Enter in a box presses nothing.
    button->setAutoDefault(false);
    button->setDefault(false);
    return button;
}

QWidget *createList(const ControlRow &row, QWidget *parent)
{
    auto *list = new PickList(parent);
    list->setAccessibleName(QString::fromUtf8(row.accessibleName));
    list->viewport()->setAcceptDrops(false);
    return list;
}

} // namespace

QFont captionFont(const QWidget *window)
{
    QFont smallest = window->font();
    for (const ControlRow &row : controlTable()) {
        if (!hasFixedCaption(row))
            continue;
        const QFont fitted
                = fitCaption(QString::fromUtf8(row.text), window->font(), captionRoom(row, window))
                          .font;
        if (fitted.pointSizeF() < smallest.pointSizeF())
            smallest = fitted;
    }
    return smallest;
}

QWidget *createControl(const ControlRow &row, QWidget *parent, QStyle *maskStyle,
                       const QFont &captionFont)
{
    const QRect pixels = toPixels(row.geometry, parent->logicalDpiX(), parent->logicalDpiY());
    QWidget *control = nullptr;
    switch (row.kind) {
    case ControlKind::TextBox:
        control = createTextBox(row, parent, maskStyle);
        break;
    case ControlKind::MultiLineTextBox:
        control = createBody(row, parent);
        break;
    case ControlKind::Label:
        control = createLabel(row, parent, captionFont);
        break;
    case ControlKind::CheckBox:
        control = createCheckBox(row, parent, captionFont);
        break;
    case ControlKind::CommandButton:
        control = createButton(row, parent);
        break;
    case ControlKind::ListBox:
        control = createList(row, parent);
        break;
    }
    control->setObjectName(QString::fromLatin1(controlName(row.control)));
    control->setGeometry(pixels);
    if (!row.shownAtStart)
        control->hide();
    return control;
}

} // namespace orvane::ui
