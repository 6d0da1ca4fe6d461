// The window while a Send signs in with OAuth: the device flow's box shows the code as text to
// select, the window paints meanwhile, Cancel ends the wait with nothing sent, and a finished
// sign-in sends with no token left in a box, the status line or the settings file.
#include "WaitSteps.h"
#include "mail/CurlComponents.h"
#include "mail/SendAction.h"
#include "mail/oauth/MemoryTokenStore.h"
#include "mail/oauth/OAuthSignIn.h"
#include "settings/QSettingsStore.h"
#include "support/OAuthServers.h"
#include "support/RequireServer.h"
#include "ui/MainWindow.h"
#include "ui/WaitPromptBox.h"

#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QTest>

#include <gtest/gtest.h>
#include <memory>

namespace {

using namespace orvane;
using form::Control;

const QString user = QStringLiteral("ann@example.org");

class SignInPromptTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const QString why = servers.start();
        ORVANE_REQUIRE_SERVER(why.isEmpty(), why);
        ui::ComponentFactory factory;
        mail::oauth::SignInOptions signIn;
        signIn.wait = factory.wait;
        signIn.store = tokens;
        mail::TransportOptions options;
        options.wait = factory.wait;
        const QMap<QString, QString> keys{{"Test/Issuer", servers.issuer()},
                                          {"Test/ClientId", servers.clientId()},
                                          {"Test/Scope", "smtp.send offline_access"},
                                          {"Test/Servers", "127.0.0.1"},
                                          {"Test/Flow", "device"}};
        options.oauthProviders = [keys] { return mail::oauth::ProviderTable::fromKeys(keys); };
        options.signIn = std::make_shared<mail::oauth::OAuthSignIn>(signIn);
        factory.mail = std::make_shared<mail::CurlComponents>(options);
        window = std::make_unique<ui::MainWindow>(std::move(factory), store);
        window->load();
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        form::FormFields &fields = window->fields();
        fields.setText(Control::txtSMTP, "127.0.0.1");
        fields.setText(Control::txtPort, QString::number(servers.submissionPort()));
        fields.setText(Control::txtFrom, user);
        fields.setText(Control::txtTo, "bob@example.org");
        fields.setText(Control::txtUsername, user);
        window->findChild<QAbstractButton *>("chkSMTPAuth")->click();
    }

    ui::WaitPromptBox *promptBox() const
    {
        auto *box = window->findChild<ui::WaitPromptBox *>();
        return box && box->isVisible() ? box : nullptr;
    }
    QString status() const { return window->findChild<QLabel *>("lblStatus")->text(); }
    void send() { QTest::mouseClick(window->findChild<QWidget *>("btnOrvane"), Qt::LeftButton); }

    test::OAuthServers servers;
    std::shared_ptr<mail::oauth::MemoryTokenStore> tokens
            = std::make_shared<mail::oauth::MemoryTokenStore>();
    settings::QSettingsStore store; // the real file, in this test's own XDG_CONFIG_HOME
    std::unique_ptr<ui::MainWindow> window;
};

TEST_F(SignInPromptTest, CodeIsSelectableTheWindowPaintsAndCancelSendsNothing)
{
    int paints = 0;
    test::PaintWatch watch(window.get(), [&] { ++paints; });
    int paintsBefore = 0;
    QString code;
    test::Steps steps;
    steps.then([this] { return promptBox() != nullptr; },
               [&] {
                   auto *label = promptBox()->findChild<QLabel *>("promptCode");
                   ASSERT_NE(label, nullptr);
                   code = label->text();
                   EXPECT_TRUE(label->textInteractionFlags() & Qt::TextSelectableByMouse);
                   EXPECT_NE(promptBox()->findChild<QPushButton *>("btnCopyCode"), nullptr);
                   paintsBefore = paints;
                   window->update();
               });
    steps.then([&] { return paints > paintsBefore; },
               [&] {
                   QTest::mouseClick(promptBox()->findChild<QPushButton *>("btnCancelPrompt"),
                                     Qt::LeftButton);
               });
    send();

    ASSERT_EQ(steps.done(), 2u) << "the wait loop did not run the steps";
    EXPECT_TRUE(QRegularExpression("^[A-Z]{4}-[A-Z]{4}$").match(code).hasMatch())
            << code.toStdString();
    EXPECT_EQ(steps.boxes, QStringList());
    EXPECT_EQ(status(), mail::cancelledStatus);
    EXPECT_EQ(promptBox(), nullptr);
    EXPECT_TRUE(servers.delivered().isEmpty());
}

TEST_F(SignInPromptTest, CodeEnteredElsewhereSendsAndNoTokenShows)
{
    test::Steps steps;
    steps.then([this] { return promptBox() != nullptr; },
               [&] {
                   const QString code = promptBox()->findChild<QLabel *>("promptCode")->text();
                   const QStringList command = servers.deviceCommand(code, user);
                   QProcess::startDetached(command.first(), command.mid(1));
               });
    send();

    ASSERT_EQ(steps.done(), 1u);
    EXPECT_EQ(steps.boxes, QStringList());
    EXPECT_TRUE(status().startsWith("Message Sent. ")) << status().toStdString();
    EXPECT_EQ(servers.delivered().size(), 1);
    const auto refresh = tokens->read(
            mail::oauth::TokenStore::keyFor(servers.issuer(), servers.clientId(), user));
    ASSERT_TRUE(refresh.ok() && refresh.value);
    EXPECT_FALSE(status().contains(QString::fromLatin1(*refresh.value)));
    window->close();
    QFile saved(QSettings(QSettings::NativeFormat, QSettings::UserScope, "Quarrow Orvane", "orvane")
                        .fileName());
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly)) << saved.fileName().toStdString();
    const QByteArray contents = saved.readAll();
    EXPECT_TRUE(contents.contains("ann@example.org")); // the five values were saved
    EXPECT_FALSE(contents.contains(*refresh.value));
}

// A close of the window while the sign-in waits cancels it: the close is not lost behind the
// box, and the window goes once the handler has ended.
TEST_F(SignInPromptTest, CloseDuringTheSignInCancelsItAndCloses)
{
    test::Steps steps;
    steps.then([this] { return promptBox() != nullptr; }, [&] { window->close(); });
    send();

    ASSERT_EQ(steps.done(), 1u);
    EXPECT_EQ(status(), mail::cancelledStatus);
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(window->isUnloaded());
    EXPECT_TRUE(servers.delivered().isEmpty());
}

} // namespace
