#include "directory/SearchAction.h"

#include "RecordingDirectory.h"
#include "support/QtPrinters.h"
#include "support/RecordingForm.h"

#include <QRegularExpression>

#include <algorithm>
#include <gtest/gtest.h>

using namespace orvane;
using directory::Value;
using form::Control;
using form::Status;
using form::StatusKind;
using test::RecordingDirectory;
using test::RecordingForm;

namespace {

class SearchActionTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        form.preset(Control::txtLdapCon,
                    QStringLiteral("dc1.example.test/CN=Users,DC=example,DC=test"));
        form.preset(Control::txtLdapUser, QStringLiteral(" EXAMPLE\\alice "));
        form.preset(Control::txtLdapPassword, QStringLiteral("s3cret pass"));
        form.preset(Control::txtLdap, QStringLiteral(" Smi"));
        form.preset(Control::txtTo, QStringLiteral("typed@example.test"));
        form.presetList(Control::lstEmail, {QStringLiteral("old@example.test")}, 0);
    }

    void search() { directory::cmdLdapSearch_Click(form, components); }
    QStringList &calls() { return components.shared->calls; }
    void failAt(const QString &call)
    {
        components.shared->failures[call]
                = Status::failure(StatusKind::ServerError, 81, QStringLiteral("failed: ") + call);
    }

    RecordingForm form;
    RecordingDirectory components;
};

} // namespace

TEST_F(SearchActionTest, CallsTheLayerInOrderWithNamesValuesAndTypes)
{
    components.shared->mails = {Value::text(QStringLiteral("a@example.test"))};
    search();
    const QStringList expected = {
            "createConnection",
            "Connection.setProvider ADsDSOObject",
            "Connection.setProperty User ID=Text: EXAMPLE\\alice ",
            "Connection.setProperty Password=Text:s3cret pass",
            "Connection.open Active Directory Provider|||-1",
            "createCommand",
            "Command.setActiveConnection the connection",
            "Command.setCommandText select name, mail from "
            "'LDAP://dc1.example.test/CN=Users,DC=example,DC=test' where name = ' Smi*' ORDER BY "
            "NAME",
            "Command.setProperty Page Size=Int16:1000",
            "Command.setProperty Timeout=Int16:10",
            "Command.setProperty searchscope=Int32:2",
            "Command.execute -1",
            "Recordset.eof",
            "Recordset.field Mail",
            "Recordset.moveNext",
            "Recordset.eof",
            "~Recordset",
            "~Command",
            "~Connection",
    };
    EXPECT_EQ(calls(), expected);
    EXPECT_EQ(form.listOf(Control::lstEmail), QStringList{"a@example.test"});
    EXPECT_TRUE(form.boxes.empty());
}

TEST_F(SearchActionTest, ReadsBoxesInOrderAndNeverTouchesTheRecipient)
{
    search();
    QStringList reads = form.calls.filter(QRegularExpression("^(text|setText)"));
    EXPECT_EQ(reads, QStringList({"text txtLdapUser", "text txtLdapPassword", "text txtLdapCon",
                                  "text txtLdap"}));
    EXPECT_EQ(form.calls.first(), "listClear lstEmail");
}

TEST_F(SearchActionTest, ListsEveryNonNullMailInDeliveredOrderKeepingDuplicates)
{
    components.shared->mails = {Value::text("b@x.test"), Value(), Value::text("a@x.test"),
                                Value::text("b@x.test"), Value()};
    search();
    EXPECT_EQ(form.listOf(Control::lstEmail), QStringList({"b@x.test", "a@x.test", "b@x.test"}));
    EXPECT_EQ(calls().filter("Recordset.field").size(), 5);
    EXPECT_TRUE(form.boxes.empty());
}

TEST_F(SearchActionTest, NothingFoundLeavesListEmptyWithoutBox)
{
    search();
    EXPECT_TRUE(form.listOf(Control::lstEmail).isEmpty());
    EXPECT_TRUE(form.boxes.empty());
}

TEST_F(SearchActionTest, EveryFailingStepEndsInOneBoxAndReleasesInOrder)
{
    const QStringList steps
            = {"createConnection",       "Connection.setProvider", "Connection.setProperty",
               "Connection.open",        "createCommand",          "Command.setActiveConnection",
               "Command.setCommandText", "Command.setProperty",    "Command.execute",
               "Recordset.field"};
    for (const QString &step : steps) {
        SCOPED_TRACE(step.toStdString());
        RecordingForm fresh;
        fresh.presetList(Control::lstEmail, {"old@x.test"}, 0);
        fresh.preset(Control::txtLdapPassword, "s3cret pass");
        RecordingDirectory layer;
        layer.shared->mails = {Value::text("a@x.test")};
        layer.shared->failures[step]
                = Status::failure(StatusKind::ServerError, 81, "failed: " + step);
        bool emptiedFirst = false;
        fresh.onMessageBox = [&](const QString &) {
            // The box comes before anything is released.
            emptiedFirst = !layer.shared->calls.join(',').contains('~');
        };
        directory::cmdLdapSearch_Click(fresh, layer);

        ASSERT_EQ(fresh.boxes.size(), 1u);
        EXPECT_EQ(fresh.boxes[0].caption, "LDAP error");
        EXPECT_EQ(fresh.boxes[0].text, "failed: " + step);
        EXPECT_FALSE(fresh.boxes[0].text.contains("s3cret"));
        EXPECT_TRUE(emptiedFirst);
        EXPECT_TRUE(fresh.listOf(Control::lstEmail).isEmpty());
        EXPECT_EQ(fresh.calls.first(), "listClear lstEmail");

        // Nothing after the failing call; what exists is released result set first.
        QStringList &log = layer.shared->calls;
        const auto failedAt = std::find_if(
                log.begin(), log.end(), [&](const QString &line) { return line.startsWith(step); });
        const qsizetype failed = failedAt - log.begin();
        const QStringList after = log.mid(failed + 1);
        for (const QString &line : after)
            EXPECT_TRUE(line.startsWith('~')) << line.toStdString();
        QStringList releases = after;
        QStringList order = {"~Recordset", "~Command", "~Connection"};
        order.erase(std::remove_if(order.begin(), order.end(),
                                   [&](const QString &r) { return !releases.contains(r); }),
                    order.end());
        EXPECT_EQ(releases, order);
    }
}

TEST_F(SearchActionTest, FailureWhileReadingKeepsTheLinesRead)
{
    components.shared->mails
            = {Value::text("a@x.test"), Value::text("b@x.test"), Value::text("c@x.test")};
    components.shared->failMoveNextAt = 1;
    search();
    EXPECT_EQ(form.listOf(Control::lstEmail), QStringList({"a@x.test", "b@x.test"}));
    ASSERT_EQ(form.boxes.size(), 1u);
    EXPECT_EQ(form.boxes[0].text, "page 2 lost");
    EXPECT_EQ(calls().mid(calls().size() - 3),
              QStringList({"~Recordset", "~Command", "~Connection"}));
}

TEST_F(SearchActionTest, ListIsEmptiedBeforeTheLayerIsTouched)
{
    failAt("createConnection");
    search();
    EXPECT_TRUE(form.listOf(Control::lstEmail).isEmpty());
    EXPECT_EQ(form.calls.first(), "listClear lstEmail");
    EXPECT_EQ(form.boxes.size(), 1u);
    EXPECT_EQ(form.textOf(Control::txtTo), "typed@example.test");
}

TEST(PickAction, ReplacesTheWholeRecipient)
{
    RecordingForm form;
    form.preset(Control::txtTo, "someone typed this, and more");
    form.presetList(Control::lstEmail, {"a@x.test", "b@x.test", "a@x.test"}, 1);
    directory::lstEmail_Click(form);
    EXPECT_EQ(form.textOf(Control::txtTo), "b@x.test");
    EXPECT_EQ(form.listOf(Control::lstEmail), QStringList({"a@x.test", "b@x.test", "a@x.test"}));
    EXPECT_EQ(form.calls, QStringList({"listIndex lstEmail", "listItem lstEmail[1]",
                                       "setText txtTo=b@x.test"}));
    EXPECT_TRUE(form.boxes.empty());

    // Picking again after the user typed overwrites again.
    form.preset(Control::txtTo, "edited");
    directory::lstEmail_Click(form);
    EXPECT_EQ(form.textOf(Control::txtTo), "b@x.test");
}

TEST(PickAction, NoSelectionChangesNothing)
{
    RecordingForm form;
    form.preset(Control::txtTo, "kept@x.test");
    form.presetList(Control::lstEmail, {"a@x.test"}, -1);
    directory::lstEmail_Click(form);
    EXPECT_EQ(form.textOf(Control::txtTo), "kept@x.test");
    EXPECT_EQ(form.calls, QStringList({"listIndex lstEmail"}));
}
