#include "WindowFixture.h"
#include "mail/MailComponents.h"
#include "ui/BodyEdit.h"
#include "ui/ControlTable.h"
#include "ui/PickList.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QStyle>
#include <QTemporaryDir>
#include <QTimer>

#include <stdexcept>

namespace {

using orvane::form::Control;
using orvane::test::WindowFixture;
using orvane::ui::ControlKind;
namespace app = orvane::app;
namespace form = orvane::form;
namespace ui = orvane::ui;

using MainWindowTest = WindowFixture;

TEST_F(MainWindowTest, WindowIdentityAndInitialSize)
{
    EXPECT_EQ(window->objectName(), QStringLiteral("Form1"));
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Quarrow Scan to Email Demo"));
    EXPECT_FALSE(window->windowIcon().isNull());
    EXPECT_EQ(window->windowIcon().pixmap(32, 32).width(), 32);
    const int dpiX = window->logicalDpiX();
    const int dpiY = window->logicalDpiY();
    EXPECT_EQ(window->size(), QSize(qRound(6825 * dpiX / 1440.0), qRound(5190 * dpiY / 1440.0)));
    if (dpiX == 96 && dpiY == 96) {
        EXPECT_EQ(window->size(), QSize(455, 346));
    }
    // Resizable: no fixed size.
    EXPECT_EQ(window->minimumSize(), QSize(0, 0));
    EXPECT_GT(window->maximumWidth(), 10000);
}

TEST_F(MainWindowTest, IconHoldsBothImagesNotOneScaled)
{
    const QList<QSize> sizes = window->windowIcon().availableSizes();
    EXPECT_TRUE(sizes.contains(QSize(16, 16)));
    EXPECT_TRUE(sizes.contains(QSize(32, 32)));
}

TEST_F(MainWindowTest, EveryControlStartsAsTheTableSays)
{
    for (const ui::ControlRow &row : ui::controlTable()) {
        const char *name = form::controlName(row.control);
        QWidget *w = find(name);
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(!w->isHidden(), row.shownAtStart) << name;
        EXPECT_TRUE(w->isEnabled()) << name;
        switch (row.kind) {
        case ControlKind::TextBox:
            EXPECT_NE(qobject_cast<QLineEdit *>(w), nullptr) << name;
            EXPECT_FALSE(static_cast<QLineEdit *>(w)->isReadOnly()) << name;
            EXPECT_FALSE(w->accessibleName().isEmpty()) << name;
            break;
        case ControlKind::MultiLineTextBox:
            EXPECT_NE(qobject_cast<ui::BodyEdit *>(w), nullptr) << name;
            break;
        case ControlKind::Label:
            EXPECT_NE(qobject_cast<QLabel *>(w), nullptr) << name;
            EXPECT_EQ(w->focusPolicy(), Qt::NoFocus) << name;
            break;
        case ControlKind::CheckBox:
            EXPECT_NE(qobject_cast<QCheckBox *>(w), nullptr) << name;
            EXPECT_EQ(static_cast<QCheckBox *>(w)->checkState(), Qt::Unchecked) << name;
            break;
        case ControlKind::CommandButton:
            EXPECT_NE(qobject_cast<QPushButton *>(w), nullptr) << name;
            break;
        case ControlKind::ListBox:
            EXPECT_EQ(static_cast<ui::PickList *>(w)->count(), 0);
            break;
        }
    }
    // The five remembered boxes were filled by the load (an empty store gives the defaults).
    const std::map<Control, QString> expected = {
            {Control::txtSMTP, "localhost"},
            {Control::txtPort, "25"},
            {Control::txtFrom, "scanner@example.com"},
            {Control::txtTo, ""},
            {Control::txtSubject, ""},
            {Control::txtAttachment, ""},
            {Control::txtBody, ""},
            {Control::txtLdap, ""},
            {Control::txtLdapCon, "dc01.example.local/CN=Users,DC=example,DC=local"},
            {Control::txtLdapUser, "scanner"},
            {Control::txtUsername, ""},
            {Control::txtPassword, ""},
            {Control::Label1, "From:"},
            {Control::Label5, "File Attachment:"},
            {Control::lblStatus, ""},
            {Control::btnOrvane, "Send"},
            {Control::cmdLdapSearch, "LDAP Search"},
            {Control::chkSMTPAuth, "SMTP Authentication"},
            {Control::chkSSL, "SSL"},
    };
    // What a control shows: a box's or label's text, a check box's caption as in the table.
    auto shown = [this](Control control) {
        if (auto *button = qobject_cast<QAbstractButton *>(find(form::controlName(control))))
            return button->accessibleName().isEmpty() ? button->text() : button->accessibleName();
        return fields().text(control);
    };
    for (const auto &[control, text] : expected)
        EXPECT_EQ(shown(control), text) << form::controlName(control);
    const QString ldapPassword = fields().text(Control::txtLdapPassword);
    EXPECT_EQ(ldapPassword.size(), 3);
    EXPECT_TRUE(ldapPassword.toInt() >= 0 && ldapPassword.front().isDigit());
    EXPECT_EQ(focused(), QStringLiteral("txtFrom"));
}

TEST_F(MainWindowTest, ControlsSitAtTheirTwipsInBothAreas)
{
    const int dpiX = window->logicalDpiX();
    const int dpiY = window->logicalDpiY();
    auto px = [&](int l, int t, int w, int h) {
        return QRect(qRound(l * dpiX / 1440.0), qRound(t * dpiY / 1440.0),
                     qRound(w * dpiX / 1440.0), qRound(h * dpiY / 1440.0));
    };
    EXPECT_EQ(find("txtFrom")->geometry(), px(1320, 600, 3015, 375));
    EXPECT_EQ(find("txtBody")->geometry(), px(1560, 3240, 4815, 1335));
    EXPECT_EQ(find("btnOrvane")->geometry(), px(4440, 600, 1815, 735));
    EXPECT_EQ(find("lblStatus")->geometry(), px(240, 4800, 3375, 375));
    EXPECT_EQ(find("chkSSL")->geometry(), px(1560, 1560, 615, 495));
    EXPECT_EQ(find("lstEmail")->geometry(), px(6840, 1320, 1935, 3180));
    EXPECT_EQ(find("txtLdapPassword")->geometry(), px(7080, 5760, 1335, 285));
    if (dpiX == 96) {
        EXPECT_EQ(find("txtSMTP")->geometry(), QRect(96, 8, 177, 19));
    }

    // The mail area is wholly inside the first client area, the directory panel wholly out.
    const QRect client = window->rect();
    for (const ui::ControlRow &row : ui::controlTable()) {
        const QRect r = find(form::controlName(row.control))->geometry();
        const bool panel = row.control == Control::cmdLdapSearch || row.control == Control::txtLdap
                           || row.control == Control::lstEmail || row.control == Control::txtLdapCon
                           || row.control == Control::txtLdapUser
                           || row.control == Control::txtLdapPassword;
        EXPECT_EQ(client.contains(r), !panel) << form::controlName(row.control);
        EXPECT_EQ(client.intersects(r), !panel) << form::controlName(row.control);
    }

    // No layout: resizing moves nothing.
    window->resize(700, 500);
    QApplication::processEvents();
    EXPECT_EQ(find("lstEmail")->geometry(), px(6840, 1320, 1935, 3180));
    EXPECT_EQ(find("txtFrom")->geometry(), px(1320, 600, 3015, 375));
}

TEST_F(MainWindowTest, FixedCaptionsAreShownWholeInsideTheirBoxes)
{
    for (const ui::ControlRow &row : ui::controlTable()) {
        if (row.kind != ControlKind::Label && row.kind != ControlKind::CheckBox)
            continue;
        QWidget *w = find(form::controlName(row.control));
        const QString shown = row.kind == ControlKind::Label ? static_cast<QLabel *>(w)->text()
                                                             : static_cast<QCheckBox *>(w)->text();
        QString joined = shown;
        joined.replace(QLatin1Char('\n'), QLatin1Char(' '));
        EXPECT_EQ(joined, QString::fromUtf8(row.text)) << form::controlName(row.control);
        const QRect needed = w->fontMetrics().boundingRect(QRect(0, 0, 10000, 10000), 0, shown);
        EXPECT_LE(needed.width(), w->width()) << form::controlName(row.control);
        EXPECT_LE(needed.height(), w->height()) << form::controlName(row.control);
    }
    EXPECT_EQ(find<QLabel>("Label1")->font(), find<QLabel>("Label5")->font());
}

TEST_F(MainWindowTest, MaskedBoxesShowStarsAndKeepTheTypedText)
{
    auto *auth = find<QCheckBox>("chkSMTPAuth");
    auth->click();
    for (const char *name : {"txtPassword", "txtLdapPassword"}) {
        auto *box = find<QLineEdit>(name);
        EXPECT_EQ(box->echoMode(), QLineEdit::Password) << name;
        EXPECT_EQ(box->style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, nullptr, box), '*')
                << name;
        EXPECT_FALSE(box->testAttribute(Qt::WA_InputMethodEnabled)) << name;
        box->clear();
        box->setFocus();
        QTest::keyClicks(box, "s3cr t");
        EXPECT_EQ(box->text(), QStringLiteral("s3cr t")) << name;
    }
    EXPECT_EQ(find<QLineEdit>("txtUsername")->echoMode(), QLineEdit::Normal);
}

TEST_F(MainWindowTest, TextBoxesHaveNoLengthLimit)
{
    const QString longText(100000, QLatin1Char('x'));
    for (const ui::ControlRow &row : ui::controlTable()) {
        if (row.kind != ControlKind::TextBox && row.kind != ControlKind::MultiLineTextBox)
            continue;
        fields().setText(row.control, longText);
        EXPECT_EQ(fields().text(row.control), longText) << form::controlName(row.control);
    }
    auto *subject = find<QLineEdit>("txtSubject");
    subject->setFocus();
    subject->end(false);
    QTest::keyClicks(subject, "yz");
    EXPECT_EQ(subject->text().size(), 100002);
}

TEST_F(MainWindowTest, EnterPressesNoButtonAndMakesANewLineInTheBody)
{
    QSignalSpy send(find<QPushButton>("btnOrvane"), &QPushButton::clicked);
    QSignalSpy search(find<QPushButton>("cmdLdapSearch"), &QPushButton::clicked);
    for (QPushButton *button : window->findChildren<QPushButton *>()) {
        EXPECT_FALSE(button->autoDefault()) << qPrintable(button->objectName());
        EXPECT_FALSE(button->isDefault()) << qPrintable(button->objectName());
    }
    for (const char *name : {"txtFrom", "txtTo", "txtSMTP", "txtLdap", "txtLdapPassword"}) {
        QWidget *box = find(name);
        box->setFocus();
        QTest::keyClick(box, Qt::Key_Return);
        QTest::keyClick(box, Qt::Key_Enter);
        QTest::keyClick(box, Qt::Key_Escape);
    }
    EXPECT_EQ(send.count(), 0);
    EXPECT_EQ(search.count(), 0);
    EXPECT_TRUE(window->isVisible());

    auto *body = find<QPlainTextEdit>("txtBody");
    body->setFocus();
    QTest::keyClicks(body, "Dear Ann,");
    QTest::keyClick(body, Qt::Key_Return);
    QTest::keyClicks(body, "the scan.");
    EXPECT_EQ(fields().text(Control::txtBody), QStringLiteral("Dear Ann,\nthe scan."));
    EXPECT_EQ(send.count(), 0);
    EXPECT_EQ(body->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    EXPECT_EQ(body->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    EXPECT_EQ(body->lineWrapMode(), QPlainTextEdit::WidgetWidth);
}

TEST_F(MainWindowTest, LabelsLieBeneathTheBoxes)
{
    find<QCheckBox>("chkSMTPAuth")->click();
    // Label8 and txtPassword overlap between x 5880..6015 and y 1680..1935 twips.
    const QPoint overlap(5950 * window->logicalDpiX() / 1440, 1800 * window->logicalDpiY() / 1440);
    ASSERT_TRUE(find("Label8")->geometry().contains(overlap));
    QWidget *top = window->childAt(overlap);
    while (top && top->parentWidget() != window.get())
        top = top->parentWidget();
    ASSERT_NE(top, nullptr);
    EXPECT_EQ(top->objectName(), QStringLiteral("txtPassword"));
}

TEST_F(MainWindowTest, NothingStartsADrag)
{
    for (QLineEdit *box : window->findChildren<QLineEdit *>())
        EXPECT_FALSE(box->dragEnabled()) << qPrintable(box->objectName());
    EXPECT_FALSE(find<QAbstractItemView>("lstEmail")->dragEnabled());

    // A press inside selected body text places the cursor instead of picking the text up.
    auto *body = find<QPlainTextEdit>("txtBody");
    body->setPlainText("drag me somewhere");
    body->selectAll();
    const QPoint inside = body->cursorRect(body->textCursor()).center() - QPoint(20, 0);
    QTest::mousePress(body->viewport(), Qt::LeftButton, {}, inside);
    EXPECT_FALSE(body->textCursor().hasSelection());
    QTest::mouseRelease(body->viewport(), Qt::LeftButton, {}, inside);
    EXPECT_EQ(body->toPlainText(), QStringLiteral("drag me somewhere"));
}

TEST_F(MainWindowTest, MessageBoxIsPlainModalAndOkOnly)
{
    struct Seen
    {
        QString title, text;
        QMessageBox::Icon icon = QMessageBox::Question;
        int buttons = 0;
        bool modal = false;
    };
    std::vector<Seen> seen;
    auto inspectAndClose = [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        seen.push_back({box->windowTitle(), box->text(), box->icon(),
                        static_cast<int>(box->buttons().size()), box->isModal()});
        box->button(QMessageBox::Ok)->click();
    };
    QTimer::singleShot(0, window.get(), inspectAndClose);
    fields().messageBox("Message Sent? <b>no</b>");
    QTimer::singleShot(0, window.get(), inspectAndClose);
    fields().messageBox("No such object", "LDAP error");
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].title, QStringLiteral("orvane"));
    EXPECT_EQ(seen[0].text, QStringLiteral("Message Sent? <b>no</b>"));
    EXPECT_EQ(seen[0].icon, QMessageBox::NoIcon);
    EXPECT_EQ(seen[0].buttons, 1);
    EXPECT_TRUE(seen[0].modal);
    EXPECT_EQ(seen[1].title, QStringLiteral("LDAP error"));
    EXPECT_EQ(fields().executableBaseName(), QStringLiteral("ui_window_test"));
}

TEST_F(MainWindowTest, StatusCaptionAndCheckValuesThroughTheFields)
{
    fields().setCaption(Control::lblStatus, "Message Sent. <i>now</i>");
    EXPECT_EQ(find<QLabel>("lblStatus")->text(), QStringLiteral("Message Sent. <i>now</i>"));
    EXPECT_EQ(find<QLabel>("lblStatus")->textFormat(), Qt::PlainText);
    EXPECT_EQ(fields().value(Control::chkSSL), form::Unticked);
    find<QCheckBox>("chkSSL")->setChecked(true);
    EXPECT_EQ(fields().value(Control::chkSSL), form::Ticked);
    find<QCheckBox>("chkSSL")->setCheckState(Qt::PartiallyChecked);
    EXPECT_EQ(fields().value(Control::chkSSL), form::Greyed);
}

} // namespace

namespace {

TEST_F(MainWindowTest, SendButtonRunsTheSendActionWithTheKeyboardToo)
{
    // Blank addresses: the send action answers with a box of its own and sends nothing.
    fields().setText(Control::txtFrom, "");
    fields().setText(Control::txtTo, "");
    QStringList boxes;
    QTimer watcher;
    QObject::connect(&watcher, &QTimer::timeout, window.get(), [&] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            boxes << box->windowTitle();
            box->button(QMessageBox::Ok)->click();
        }
    });
    watcher.start(10);
    auto *send = find<QPushButton>("btnOrvane");
    send->setFocus();
    QTest::keyClick(send, Qt::Key_Space);
    EXPECT_EQ(boxes, QStringList{"orvane"});
}

} // namespace

namespace {

// Mail components that throw instead of answering with a status, as a broken one might.
class ThrowingMail : public orvane::mail::MailComponents
{
public:
    orvane::form::Result<std::unique_ptr<orvane::mail::Message>> createMessage() override
    {
        throw std::runtime_error("message component missing");
    }
    orvane::form::Result<std::unique_ptr<orvane::mail::FileSystem>> createFileSystem() override
    {
        throw std::runtime_error("file system missing");
    }
};

// The program's modules as a broken installation leaves them in a folder of the test's own.
enum class Modules { Real, Missing, NotAModule, NoEntryPoint, Relative };

void install(Modules modules, const QString &folder)
{
    const QString mail = folder + QStringLiteral("/mail-curl.so");
    const QString directory = folder + QStringLiteral("/directory-ldap.so");
    if (modules == Modules::NotAModule) {
        for (const QString &path : {mail, directory}) {
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(QByteArray(100, 'x'));
        }
    } else if (modules == Modules::NoEntryPoint) {
        // Each module under the other's name: a shared object, but not the one asked for.
        ASSERT_TRUE(QFile::copy(QStringLiteral(ORVANE_TEST_MODULE_DIR "/directory-ldap.so"), mail));
        ASSERT_TRUE(QFile::copy(QStringLiteral(ORVANE_TEST_MODULE_DIR "/mail-curl.so"), directory));
    }
}

// The folder the program is told to load them from.
QString folderFor(Modules modules, const QString &scratch)
{
    if (modules == Modules::Real)
        return QStringLiteral(ORVANE_TEST_MODULE_DIR);
    return modules == Modules::Relative ? QStringLiteral("lib/orvane") : scratch;
}

// A component that fails or throws ends in its handler's own box, and the window goes on: a
// Send, a search and a Send again each show theirs.
TEST(ComponentFailureTest, EndsInTheHandlersOwnBoxAndTheWindowGoesOn)
{
    const QString mail = "orvane|ui_window_test error The mail component could not be loaded: ";
    const QString directory = "LDAP error|The directory component could not be loaded: ";
    const QString mailFile = mail + "DIR/mail-curl.so: ";
    const QString directoryFile = directory + "DIR/directory-ldap.so: ";
    const QString notFound = "cannot open shared object file: No such file or directory";
    const QString unknown = "the program's module folder is unknown.";
    const struct
    {
        Modules modules;
        QString send;
        QString search;
    } rows[] = {
            {Modules::Missing, mailFile + notFound, directoryFile + notFound},
            {Modules::NotAModule, mailFile + "invalid ELF header",
             directoryFile + "invalid ELF header"},
            {Modules::NoEntryPoint, mailFile + "undefined symbol: orvane_create_mail_components",
             directoryFile + "undefined symbol: orvane_create_directory_components"},
            // A folder not named in full is never looked for in the current folder.
            {Modules::Relative, mail + unknown, directory + unknown},
            // Mail components that throw: the box names the exception. The real directory
            // module, loaded from the build tree, finds no server.
            {Modules::Real, "orvane|ui_window_test error message component missing",
             "LDAP error|Can't contact LDAP server (LDAP result -1). Could not reach the "
             "directory server 127.0.0.1 on port 1: check the server name and port, and that "
             "the server is running."},
    };
    for (const auto &row : rows) {
        QTemporaryDir folder;
        ASSERT_TRUE(folder.isValid());
        ASSERT_NO_FATAL_FAILURE(install(row.modules, folder.path()));
        orvane::test::MemoryStore store;
        ui::ComponentFactory factory
                = app::defaultComponents(folderFor(row.modules, folder.path()));
        if (row.modules == Modules::Real)
            factory.mail = std::make_shared<ThrowingMail>();
        ui::MainWindow window(factory, store);
        window.load();
        window.show();
        window.fields().setText(Control::txtTo, "ann@example.com");
        window.fields().setText(Control::txtLdapCon, "127.0.0.1:1/dc=example,dc=test");
        QString boxes;
        QTimer watcher;
        QObject::connect(&watcher, &QTimer::timeout, &window, [&] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                boxes += box->windowTitle() + QLatin1Char('|') + box->text() + QLatin1Char(';');
                box->button(QMessageBox::Ok)->click();
            }
        });
        watcher.start(10);
        for (Control button : {Control::btnOrvane, Control::cmdLdapSearch, Control::btnOrvane})
            static_cast<QPushButton *>(window.control(button))->click();

        const QString expected = row.send + ';' + row.search + ';' + row.send + ';';
        EXPECT_EQ(boxes.toStdString(),
                  QString(expected).replace("DIR", folder.path()).toStdString());
    }
}

} // namespace
