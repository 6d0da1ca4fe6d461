#include "WindowFixture.h"

#include <QAbstractButton>
#include <QLineEdit>
#include <QMessageBox>
#include <QTimer>

namespace {

using orvane::form::Control;
using orvane::test::WindowFixture;

using UnloadTest = WindowFixture;

// Closes every box that opens while `action` runs and returns their texts.
QStringList boxesDuring(QObject *context, const std::function<void()> &action)
{
    QStringList texts;
    QTimer watcher;
    QObject::connect(&watcher, &QTimer::timeout, context, [&] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            texts << box->windowTitle() + QStringLiteral(": ") + box->text();
            box->button(QMessageBox::Ok)->click();
        }
    });
    watcher.start(10);
    action();
    return texts;
}

TEST_F(UnloadTest, CloseSavesTheFiveBoxesOnceAndNothingElse)
{
    fields().setText(Control::txtTo, " bob@example.com ");
    fields().setText(Control::txtSMTP, "");
    fields().setText(Control::txtBody, "not remembered");
    window->resize(900, 700);
    EXPECT_TRUE(window->close());
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(window->isUnloaded());
    window->close();
    window->closeForSessionEnd();
    window->unload(orvane::settings::SaveReport::MessageBox);
    EXPECT_EQ(store.commits, 1);
    const std::map<QString, QString> expected = {
            {"Setting/SMTP Server", ""},
            {"Setting/Port", "25"},
            {"Setting/From", "scanner@example.com"},
            {"Setting/To", " bob@example.com "},
            {"Setting/Subject", ""},
    };
    EXPECT_EQ(store.values, expected);
}

TEST_F(UnloadTest, FailedSaveOnACloseIsReportedInABoxAndTheWindowStillCloses)
{
    store.failCommit = true;
    const QStringList boxes = boxesDuring(window.get(), [this] { window->close(); });
    EXPECT_EQ(boxes, QStringList{"orvane: Settings could not be saved: the disk is full."});
    EXPECT_FALSE(window->isVisible());
}

TEST_F(UnloadTest, SessionEndClosesOpenBoxesAndReportsOnStandardError)
{
    store.failCommit = true;
    // A handler's box is open when the session ends.
    QTimer::singleShot(20, window.get(), [this] { window->closeForSessionEnd(); });
    testing::internal::CaptureStderr();
    fields().messageBox("a box left open");
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(store.commits, 1);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_NE(err.find("Settings could not be saved: the disk is full."), std::string::npos) << err;
}

TEST_F(UnloadTest, LoadFillsTheRememberedBoxesFromTheStore)
{
    store.values = {{"Setting/SMTP Server", "mail.example.net"},
                    {"Setting/Port", "x25"},
                    {"Setting/From", ""},
                    {"Setting/To", "t@example.com"},
                    {"Setting/Subject", " Scan ; = % "}};
    window->load();
    EXPECT_EQ(fields().text(Control::txtSMTP), QStringLiteral("mail.example.net"));
    EXPECT_EQ(fields().text(Control::txtPort), QStringLiteral("x25"));
    EXPECT_EQ(fields().text(Control::txtFrom), QString());
    EXPECT_EQ(fields().text(Control::txtTo), QStringLiteral("t@example.com"));
    EXPECT_EQ(find<QLineEdit>("txtSubject")->text(), QStringLiteral(" Scan ; = % "));
}

} // namespace
