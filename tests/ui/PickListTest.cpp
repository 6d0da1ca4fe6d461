#include "ui/PickList.h"

#include "WindowFixture.h"

#include <QAccessible>
#include <QSignalSpy>

namespace {

using orvane::form::Control;
using orvane::test::WindowFixture;
using orvane::ui::PickList;

class PickListTest : public WindowFixture
{
protected:
    void SetUp() override
    {
        WindowFixture::SetUp();
        list = find<PickList>("lstEmail");
        fill({"ann@example.com", "bob@example.com", "cy@example.com"});
    }

    // Rows added outside a handler go into the list when the event loop next runs, all in
    // one insertion.
    void fill(std::initializer_list<const char *> addresses)
    {
        QSignalSpy insertions(list->model(), &QAbstractItemModel::rowsInserted);
        for (const char *address : addresses)
            fields().listAddItem(Control::lstEmail, address);
        QCoreApplication::processEvents();
        ASSERT_EQ(list->count(), int(addresses.size()));
        EXPECT_EQ(list->text(0), QString::fromLatin1(*addresses.begin()));
        EXPECT_EQ(insertions.count(), 1);
    }

    QModelIndex row(int row) const { return list->model()->index(row, 0); }

    void click(int row)
    {
        const QPoint at = list->visualRect(this->row(row)).center();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
    }

    PickList *list = nullptr;
};

TEST_F(PickListTest, FillingFocusingAndProgrammaticChangesPickNothing)
{
    QSignalSpy picks(list, &PickList::picked);
    EXPECT_EQ(fields().listIndex(Control::lstEmail), -1);

    find("txtLdap")->setFocus();
    QTest::keyClick(find("txtLdap"), Qt::Key_Tab);
    ASSERT_EQ(focused(), QStringLiteral("lstEmail"));
    EXPECT_EQ(fields().listIndex(Control::lstEmail), -1) << "focus selects nothing";

    // A screen reader finds the list by its name and reads each line.
    QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(list);
    EXPECT_EQ(accessible->text(QAccessible::Name), QStringLiteral("Directory search results"));
    EXPECT_EQ(accessible->child(1)->text(QAccessible::Name), QStringLiteral("bob@example.com"));

    list->setCurrentIndex(row(2));
    fields().listClear(Control::lstEmail);
    fields().listAddItem(Control::lstEmail, "dee@example.com");
    EXPECT_EQ(picks.count(), 0);
    // A read sees every row added so far, and a clear drops rows not yet shown.
    EXPECT_EQ(fields().listItem(Control::lstEmail, 0), QStringLiteral("dee@example.com"));
    EXPECT_EQ(fields().listItem(Control::lstEmail, 5), QString());
    fields().listAddItem(Control::lstEmail, "eve@example.com");
    fields().listClear(Control::lstEmail);
    QCoreApplication::processEvents();
    EXPECT_EQ(list->count(), 0);
}

TEST_F(PickListTest, EveryClickOnALinePicksItTheSelectedOneToo)
{
    QSignalSpy picks(list, &PickList::picked);
    click(1);
    EXPECT_EQ(picks.count(), 1);
    EXPECT_EQ(fields().listIndex(Control::lstEmail), 1);
    click(1);
    EXPECT_EQ(picks.count(), 2);
    EXPECT_EQ(fields().listIndex(Control::lstEmail), 1);

    // Ctrl+click keeps the line selected, as a one-line list should.
    const QPoint at = list->visualRect(row(1)).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::ControlModifier, at);
    EXPECT_EQ(fields().listIndex(Control::lstEmail), 1);

    // Below the last line there is nothing to pick.
    const int before = picks.count();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      QPoint(10, list->viewport()->height() - 5));
    EXPECT_EQ(picks.count(), before);
}

TEST_F(PickListTest, RightAndMiddleClicksLeaveThePickAsItWas)
{
    click(0);
    QSignalSpy picks(list, &PickList::picked);
    const QPoint at = list->visualRect(row(2)).center();
    for (const Qt::MouseButton button : {Qt::RightButton, Qt::MiddleButton}) {
        QTest::mouseClick(list->viewport(), button, {}, at);
        QTest::mouseDClick(list->viewport(), button, {}, at);
    }
    EXPECT_EQ(picks.count(), 0);
    EXPECT_EQ(fields().listIndex(Control::lstEmail), 0);
    EXPECT_EQ(list->currentIndex().row(), 0);
    EXPECT_EQ(fields().text(Control::txtTo), QStringLiteral("ann@example.com"));
}

TEST_F(PickListTest, ArrowKeysPickEachNewLine)
{
    QSignalSpy picks(list, &PickList::picked);
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Down);
    EXPECT_EQ(fields().listIndex(Control::lstEmail), 0) << "the first arrow picks the first line";
    QTest::keyClick(list, Qt::Key_Down);
    QTest::keyClick(list, Qt::Key_Down);
    EXPECT_EQ(fields().listIndex(Control::lstEmail), 2);
    EXPECT_EQ(picks.count(), 3);
    QTest::keyClick(list, Qt::Key_Down); // already at the end: nothing changes
    EXPECT_EQ(picks.count(), 3);
    QTest::keyClick(list, Qt::Key_Up);
    EXPECT_EQ(picks.count(), 4);
    EXPECT_EQ(fields().listIndex(Control::lstEmail), 1);
    EXPECT_EQ(fields().listItem(Control::lstEmail, 1), QStringLiteral("bob@example.com"));
}

} // namespace

namespace {

TEST_F(PickListTest, APickCopiesTheAddressIntoTheRecipientBox)
{
    fields().setText(Control::txtTo, "typed@example.com");
    fields().listClear(Control::lstEmail);
    EXPECT_EQ(fields().text(Control::txtTo), QStringLiteral("typed@example.com"));
    fill({"ann@example.com", "bob@example.com"});
    click(1);
    EXPECT_EQ(fields().text(Control::txtTo), QStringLiteral("bob@example.com"));
    QTest::keyClick(list, Qt::Key_Up);
    EXPECT_EQ(fields().text(Control::txtTo), QStringLiteral("ann@example.com"));
}

} // namespace
