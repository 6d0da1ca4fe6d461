// The yardstick for the window's start-up: a plain Qt program that shows one window with 28
// stock controls of the same kinds, sizes and start texts as the program's window, and quits
// from its first paint. Nothing else: no settings, no icon, no handlers.
#include "FirstPaintQuit.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QWidget>

#include <cmath>

namespace {

enum Kind { Edit, Body, Label, Check, Button, List };

struct ControlShape
{
    Kind kind;
    const char *text;
    int left, top, width, height; // twips
    bool shown;
};

// Kinds, places and sizes as in the program's window (12 text boxes, one multi-line box, ten
// labels, two check boxes, two buttons, one list).
constexpr ControlShape controls[] = {
        {Edit, "scanner@example.com", 1320, 600, 3015, 375, true},
        {Edit, "", 1320, 1080, 3015, 375, true},
        {Edit, "", 1560, 2160, 4815, 375, true},
        {Edit, "", 1560, 2640, 4815, 375, true},
        {Body, "", 1560, 3240, 4815, 1335, true},
        {Label, "From:", 240, 720, 855, 255, true},
        {Button, "Send", 4440, 600, 1815, 735, true},
        {Label, "To:", 240, 1200, 855, 255, true},
        {Label, "Subject:", 240, 2280, 1215, 255, true},
        {Label, "Message Body:", 240, 3360, 1215, 255, true},
        {Label, "File Attachment:", 240, 2760, 1215, 255, true},
        {Label, "", 240, 4800, 3375, 375, true},
        {Button, "LDAP Search", 6840, 360, 1815, 375, true},
        {Edit, "", 6840, 840, 1815, 375, true},
        {List, "", 6840, 1320, 1935, 3180, true},
        {Edit, "dc01.example.local/CN=Users,DC=example,DC=local", 4560, 5400, 4575, 285, true},
        {Edit, "scanner", 4920, 5760, 1695, 285, true},
        {Edit, "123", 7080, 5760, 1335, 285, true},
        {Edit, "", 1440, 120, 2655, 285, true},
        {Edit, "25", 5520, 120, 735, 285, true},
        {Label, "SMTP Server", 240, 120, 1095, 255, true},
        {Label, "SMTP port:", 4560, 120, 855, 255, true},
        {Check, "SMTP Authentication", 120, 1560, 1335, 495, true},
        {Edit, "", 3120, 1560, 1935, 375, false},
        {Edit, "", 5880, 1560, 855, 375, false},
        {Label, "Password", 5160, 1680, 855, 375, false},
        {Label, "Username", 2280, 1680, 735, 375, false},
        {Check, "SSL", 1560, 1560, 615, 495, false},
};
static_assert(std::size(controls) == 28);

int pixels(int twips, int dpi)
{
    return int(std::lround(double(twips) * dpi / 1440.0));
}

QWidget *create(const ControlShape &shape, QWidget *parent)
{
    const QString text = QString::fromLatin1(shape.text);
    switch (shape.kind) {
    case Edit:
        return new QLineEdit(text, parent);
    case Body:
        return new QPlainTextEdit(text, parent);
    case Label:
        return new QLabel(text, parent);
    case Check:
        return new QCheckBox(text, parent);
    case Button:
        return new QPushButton(text, parent);
    case List:
        break;
    }
    return new QListWidget(parent);
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    orvane::bench::FirstPaintQuit quit;
    app.installEventFilter(&quit);

    QWidget window;
    window.setWindowTitle(QStringLiteral("Quarrow Scan to Email Demo"));
    const int dpiX = window.logicalDpiX();
    const int dpiY = window.logicalDpiY();
    window.resize(pixels(6825, dpiX), pixels(5190, dpiY));
    for (const ControlShape &shape : controls) {
        QWidget *control = create(shape, &window);
        control->setGeometry(pixels(shape.left, dpiX), pixels(shape.top, dpiY),
                             pixels(shape.width, dpiX), pixels(shape.height, dpiY));
        if (!shape.shown)
            control->hide();
    }
    window.show();
    return QApplication::exec();
}
