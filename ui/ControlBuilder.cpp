#include "ControlBuilder.h"

#include "ui/BodyEdit.h"
#include "ui/PickList.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>

#include <limits>

namespace orvane::ui {

namespace {

QWidget *createTextBox(const ControlSpec &spec, QWidget *parent, QStyle *maskStyle)
{
    auto *box = new QLineEdit(QString::fromUtf8(spec.text), parent);
    // A text box holds any length of text (Qt's own limit is 32,767 characters).
    box->setMaxLength(std::numeric_limits<int>::max());
    box->setDragEnabled(false);
    box->setAcceptDrops(false);
    box->setAccessibleName(QString::fromUtf8(spec.accessibleName));
    if (spec.masked) {
        box->setStyle(maskStyle);
        box->setEchoMode(QLineEdit::Password);
        box->setAttribute(Qt::WA_InputMethodEnabled, false);
    }
    return box;
}

QWidget *createBody(const ControlSpec &spec, QWidget *parent)
{
    auto *body = new BodyEdit(parent);
    body->setPlainText(QString::fromUtf8(spec.text));
    body->setAccessibleName(QString::fromUtf8(spec.accessibleName));
    body->setAcceptDrops(false);
    body->viewport()->setAcceptDrops(false);
    return body;
}

QWidget *createLabel(const ControlSpec &spec, QWidget *parent)
{
    auto *label = new QLabel(parent);
    // The status line shows server replies and paths: never read them as markup.
    label->setTextFormat(Qt::PlainText);
    label->setText(QString::fromUtf8(spec.text));
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setWordWrap(true);
    label->setFocusPolicy(Qt::NoFocus);
    return label;
}

// A check box caption wraps at its box's width, as on the platform this window comes from;
// QCheckBox would clip it instead.
QString wrappedCaption(const QCheckBox &box, const QString &caption, int width)
{
    QStyleOptionButton option;
    option.initFrom(&box);
    const QStyle *style = box.style();
    const int room = width - style->pixelMetric(QStyle::PM_IndicatorWidth, &option, &box)
                     - style->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, &option, &box) - 4;
    const QFontMetrics metrics = box.fontMetrics();
    if (metrics.horizontalAdvance(caption) <= room)
        return caption;
    QStringList lines;
    for (const QString &word : caption.split(QLatin1Char(' '))) {
        if (!lines.isEmpty()
            && metrics.horizontalAdvance(lines.last() + QLatin1Char(' ') + word) <= room)
            lines.last() += QLatin1Char(' ') + word;
        else
            lines.append(word);
    }
    return lines.join(QLatin1Char('\n'));
}

QWidget *createCheckBox(const ControlSpec &spec, QWidget *parent, int width)
{
    auto *box = new QCheckBox(parent);
    const QString caption = QString::fromUtf8(spec.text);
    box->setText(wrappedCaption(*box, caption, width));
    box->setAccessibleName(caption);
    box->setTristate(false);
    return box;
}

QWidget *createButton(const ControlSpec &spec, QWidget *parent)
{
    auto *button = new QPushButton(QString::fromUtf8(spec.text), parent);
    // No button is the window's default: Enter in a box presses nothing.
    button->setAutoDefault(false);
    button->setDefault(false);
    return button;
}

QWidget *createList(const ControlSpec &spec, QWidget *parent)
{
    auto *list = new PickList(parent);
    list->setAccessibleName(QString::fromUtf8(spec.accessibleName));
    list->viewport()->setAcceptDrops(false);
    return list;
}

} // namespace

QWidget *createControl(const ControlSpec &spec, QWidget *parent, QStyle *maskStyle)
{
    const QRect pixels = toPixels(spec.geometry, parent->logicalDpiX(), parent->logicalDpiY());
    QWidget *control = nullptr;
    switch (spec.kind) {
    case ControlKind::TextBox:
        control = createTextBox(spec, parent, maskStyle);
        break;
    case ControlKind::MultiLineTextBox:
        control = createBody(spec, parent);
        break;
    case ControlKind::Label:
        control = createLabel(spec, parent);
        break;
    case ControlKind::CheckBox:
        control = createCheckBox(spec, parent, pixels.width());
        break;
    case ControlKind::CommandButton:
        control = createButton(spec, parent);
        break;
    case ControlKind::ListBox:
        control = createList(spec, parent);
        break;
    }
    control->setObjectName(QString::fromLatin1(controlName(spec.control)));
    control->setGeometry(pixels);
    if (!spec.shownAtStart)
        control->hide();
    return control;
}

} // namespace orvane::ui
