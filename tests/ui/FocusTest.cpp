#include "WindowFixture.h"

#include <QCheckBox>
#include <QLineEdit>

namespace {

using orvane::form::Control;
using orvane::test::WindowFixture;

using FocusTest = WindowFixture;

const QStringList cycleWithoutAuthentication = {
        "txtFrom",     "txtTo",           "txtSubject", "txtAttachment", "txtBody",
        "btnOrvane",   "cmdLdapSearch",   "txtLdap",    "lstEmail",      "txtLdapCon",
        "txtLdapUser", "txtLdapPassword", "txtSMTP",    "txtPort",       "chkSMTPAuth",
};

QStringList cycleWithAuthentication()
{
    return cycleWithoutAuthentication + QStringList{"txtUsername", "txtPassword", "chkSSL"};
}

// The focus after each of `steps` presses of `key`, starting from the focus as it is.
QStringList walk(int steps, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QStringList seen;
    for (int i = 0; i < steps; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, modifiers);
        QWidget *focus = QApplication::focusWidget();
        seen << (focus ? focus->objectName() : QStringLiteral("<none>"));
    }
    return seen;
}

QStringList rotated(const QStringList &cycle, int by)
{
    return cycle.mid(by) + cycle.mid(0, by);
}

TEST_F(FocusTest, TabGoesRoundTheVisibleControlsAndSkipsTheHiddenGroup)
{
    ASSERT_EQ(focused(), QStringLiteral("txtFrom"));
    const QStringList expected = rotated(cycleWithoutAuthentication, 1);
    EXPECT_EQ(walk(expected.size()), expected);
    EXPECT_EQ(focused(), QStringLiteral("txtFrom"));

    // Backwards from txtFrom wraps to the last control.
    QStringList backwards = cycleWithoutAuthentication;
    std::reverse(backwards.begin(), backwards.end());
    EXPECT_EQ(walk(backwards.size(), Qt::ShiftModifier), rotated(backwards, 0));
}

TEST_F(FocusTest, ShownGroupFollowsTheAuthenticationBox)
{
    auto *auth = find<QCheckBox>("chkSMTPAuth");
    auth->setFocus();
    QTest::keyClick(auth, Qt::Key_Space);
    ASSERT_TRUE(auth->isChecked());
    find("txtFrom")->setFocus();
    const QStringList expected = rotated(cycleWithAuthentication(), 1);
    EXPECT_EQ(walk(expected.size()), expected);
}

TEST_F(FocusTest, TabFromSendReachesTheUnseenSearchButton)
{
    find("btnOrvane")->setFocus();
    EXPECT_EQ(walk(1), QStringList{"cmdLdapSearch"});
    EXPECT_FALSE(window->rect().intersects(find("cmdLdapSearch")->geometry()));
}

TEST_F(FocusTest, ToggleShowsAndHidesTheGroupKeepingTextsAndTicks)
{
    auto *auth = find<QCheckBox>("chkSMTPAuth");
    const QStringList group = {"txtUsername", "txtPassword", "Label8", "Label9", "chkSSL"};
    auto groupShown = [&] {
        int shown = 0;
        for (const QString &name : group)
            shown += find(qPrintable(name))->isVisible() ? 1 : 0;
        return shown;
    };
    EXPECT_EQ(groupShown(), 0);

    QTest::mouseClick(auth, Qt::LeftButton, {}, QPoint(6, auth->height() / 2));
    ASSERT_TRUE(auth->isChecked());
    EXPECT_EQ(groupShown(), 5);
    find<QLineEdit>("txtUsername")->setText("ann");
    find<QLineEdit>("txtPassword")->setText("pw 1");
    find<QCheckBox>("chkSSL")->setChecked(true);

    for (int round = 0; round < 3; ++round) {
        QTest::mouseClick(auth, Qt::LeftButton, {}, QPoint(6, auth->height() / 2));
        EXPECT_EQ(groupShown(), 0);
        EXPECT_EQ(fields().value(Control::chkSSL), 1) << "a hidden SSL tick still counts";
        auth->setFocus();
        QTest::keyClick(auth, Qt::Key_Space);
        EXPECT_EQ(groupShown(), 5);
    }
    EXPECT_EQ(fields().text(Control::txtUsername), QStringLiteral("ann"));
    EXPECT_EQ(fields().text(Control::txtPassword), QStringLiteral("pw 1"));
    EXPECT_EQ(fields().value(Control::chkSSL), 1);
    EXPECT_EQ(find<QLineEdit>("txtUsername")->text(), QStringLiteral("ann"));
}

} // namespace
