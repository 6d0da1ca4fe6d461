// The directory search against a server that misbehaves: the whole search action with the
// recording form and the real libldap components, one scripted server per test.
#include "QtPrinters.h"
#include "ScriptedLdapServer.h"
#include "directory/LdapDirectoryComponents.h"
#include "directory/SearchAction.h"
#include "support/RequireServer.h"
#include "support/RecordingForm.h"

#include <QElapsedTimer>
#include <QJsonArray>

#include <gtest/gtest.h>
#include <tuple>

using namespace orvane;
using namespace orvane::directory;
using namespace std::chrono_literals;
using form::Control;
using test::RecordingForm;
using test::ScriptedLdapServer;

namespace {

const QString password = QStringLiteral("Fault-Secret-42");
constexpr auto relaxed = 5000ms;

class LdapFaultTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const QString missing = ScriptedLdapServer::missingPrerequisite();
        ORVANE_REQUIRE_SERVER(missing.isEmpty(), missing);
    }

    void start(const QString &scenario, int entries, bool sorts)
    {
        const QString error = server.start({scenario, entries, sorts});
        ASSERT_TRUE(error.isEmpty()) << error.toStdString();
    }

    // The search button, with the answer time-out handed in; returns how long it took.
    std::chrono::milliseconds search(std::chrono::milliseconds answerTimeout = relaxed)
    {
        form.preset(Control::txtLdapCon,
                    QStringLiteral("127.0.0.1:%1/OU=People,DC=fault,DC=test").arg(server.port()));
        form.preset(Control::txtLdap, QStringLiteral("Person"));
        form.preset(Control::txtLdapUser, QStringLiteral("CN=Reader,DC=fault,DC=test"));
        form.preset(Control::txtLdapPassword, password);
        LdapProviderOptions options;
        options.connectTimeout = 2s;
        options.answerTimeout = answerTimeout;
        options.portRule = [](int) { return TransportMode::Plain; };
        LdapDirectoryComponents components(options);
        QElapsedTimer timer;
        timer.start();
        cmdLdapSearch_Click(form, components);
        const auto took = std::chrono::milliseconds(timer.elapsed());
        for (const RecordingForm::Box &box : form.boxes)
            EXPECT_FALSE(box.text.contains(password)) << box.text.toStdString();
        for (const QString &item : listed())
            EXPECT_FALSE(item.contains(password));
        return took;
    }

    QStringList listed() const { return form.listOf(Control::lstEmail); }

    // The one "LDAP error" box of a failed search.
    QString oneBox() const
    {
        EXPECT_EQ(form.boxes.size(), 1u);
        if (form.boxes.empty())
            return QString();
        EXPECT_EQ(form.boxes[0].caption, QStringLiteral("LDAP error"));
        return form.boxes[0].text;
    }

    void expectNoBox() const
    {
        for (const RecordingForm::Box &box : form.boxes)
            ADD_FAILURE() << "unexpected box: " << box.text.toStdString();
    }

    // The addresses of entries first .. first + count - 1, in name order.
    static QStringList mails(int first, int count)
    {
        QStringList result;
        for (int i = first; i < first + count; ++i)
            result.append(QStringLiteral("person%1@fault.test").arg(i, 4, 10, QLatin1Char('0')));
        return result;
    }

    qsizetype searches() const { return server.events("search").size(); }

    ScriptedLdapServer server;
    RecordingForm form;
};

} // namespace

// A refused bind: the server's words and code, and what they mean in plain words.
struct BindRefusal
{
    const char *scenario;
    const char *serverWords;
    const char *advice;
};

class LdapBindRefusalTest : public LdapFaultTest, public ::testing::WithParamInterface<BindRefusal>
{};

// clang-format off
INSTANTIATE_TEST_SUITE_P(Refusals, LdapBindRefusalTest, ::testing::Values(
    BindRefusal{"bind-refused", "Invalid credentials (LDAP result 49): 80090308: LdapErr: DSID-0C09041C, comment: AcceptSecurityContext error, data 52e, v4563", "password is wrong: check both"},
    BindRefusal{"bind-locked", "data 775", "locked out"},
    BindRefusal{"bind-strong", "(LDAP result 8): BindSimple: Transport encryption required.", "does not offer StartTLS on this port: use port 636"},
    BindRefusal{"bind-confidential", "(LDAP result 13): 00002028", "only over an encrypted connection: use port 636"}),
    [](const auto &info) { return QString(info.param.scenario).remove(u'-').toStdString(); });
// clang-format on

TEST_P(LdapBindRefusalTest, SaysWhyInTheServersWordsAndPlainOnes)
{
    const BindRefusal &row = GetParam();
    start(row.scenario, 10, true);
    search();
    const QString text = oneBox();
    EXPECT_TRUE(text.contains(row.serverWords)) << text.toStdString();
    EXPECT_TRUE(text.contains(row.advice)) << text.toStdString();
    // Active Directory ends its text with a NUL; none of it reaches the box.
    EXPECT_FALSE(text.contains(QChar(0)));
    EXPECT_TRUE(listed().isEmpty());
    ASSERT_EQ(server.events("bind").size(), 1);
    EXPECT_EQ(server.events("bind")[0].value("name").toString(), "CN=Reader,DC=fault,DC=test");
    EXPECT_EQ(searches(), 0);
}

// Where the server sorts, rows are listed as pages arrive: those already listed stay.
TEST_F(LdapFaultTest, ServerGoneBetweenPagesKeepsTheRowsListedWhereTheServerSorts)
{
    start("drop-after-page", 2500, true);
    search();
    const QString text = oneBox();
    EXPECT_TRUE(text.startsWith("Can't contact LDAP server (LDAP result -1)."))
            << text.toStdString();
    EXPECT_TRUE(text.contains("lost during the search")) << text.toStdString();
    EXPECT_EQ(listed(), mails(0, 1000));
    EXPECT_EQ(searches(), 2);
    EXPECT_EQ(server.events("drop").size(), 1);
}

// Where the client sorts, nothing can be listed before the last page: the list stays empty.
TEST_F(LdapFaultTest, ServerGoneBetweenPagesListsNothingWhereTheClientSorts)
{
    start("drop-after-page", 2500, false);
    search();
    const QString text = oneBox();
    EXPECT_TRUE(text.startsWith("Can't contact LDAP server (LDAP result -1)."))
            << text.toStdString();
    EXPECT_TRUE(listed().isEmpty());
    EXPECT_EQ(searches(), 2);
}

TEST_F(LdapFaultTest, PageThatNeverComesTimesOutAfterTheRowsSoFar)
{
    start("stall-after-page", 2500, true);
    const auto took = search(300ms);
    const QString text = oneBox();
    EXPECT_TRUE(text.startsWith("Timed out (LDAP result -5).")) << text.toStdString();
    EXPECT_TRUE(text.contains("did not answer within 0.3 seconds")) << text.toStdString();
    EXPECT_EQ(listed(), mails(0, 1000));
    EXPECT_EQ(server.events("stall").size(), 1);
    // The time-out is what ended the wait, and it held.
    EXPECT_GE(took, 300ms);
    EXPECT_LT(took, 3000ms);
}

TEST_F(LdapFaultTest, FirstPageThatNeverComesTimesOut)
{
    start("stall-first-page", 10, false);
    const auto took = search(300ms);
    EXPECT_TRUE(oneBox().startsWith("Timed out (LDAP result -5).")) << oneBox().toStdString();
    EXPECT_TRUE(listed().isEmpty());
    EXPECT_GE(took, 300ms);
    EXPECT_LT(took, 3000ms);
}

// Result sizes around the page size of 1,000, with the server sorting and with the sort left
// to the client (the server then sends the entries shuffled).
class LdapResultSizeTest : public LdapFaultTest,
                           public ::testing::WithParamInterface<std::tuple<int, bool>>
{};

TEST_P(LdapResultSizeTest, EveryEntryIsListedInNameOrder)
{
    const auto [entries, sorts] = GetParam();
    start("normal", entries, sorts);
    search();
    expectNoBox();
    EXPECT_EQ(listed(), mails(0, entries));
    // One request a page of 1,000, each asking for the sort, each with the last page's cookie.
    const QList<QJsonObject> requests = server.events("search");
    ASSERT_EQ(requests.size(), entries == 0 ? 1 : (entries + 999) / 1000);
    for (qsizetype i = 0; i < requests.size(); ++i) {
        EXPECT_EQ(requests[i].value("pageSize").toInt(), 1000);
        EXPECT_EQ(requests[i].value("sort").toArray().first().toString().toLower(), "name");
        EXPECT_EQ(requests[i].value("cookie").toString(),
                  i == 0 ? QString() : QStringLiteral("next:%1").arg(i * 1000));
    }
}

INSTANTIATE_TEST_SUITE_P(PageBoundaries, LdapResultSizeTest,
                         ::testing::Combine(::testing::Values(0, 1, 999, 1000, 1001, 2500),
                                            ::testing::Bool()));

TEST_F(LdapFaultTest, ServerWithoutPagingControlIsTheLastPage)
{
    start("no-paging", 1500, false);
    search();
    expectNoBox();
    EXPECT_EQ(listed(), mails(0, 1500));
    EXPECT_EQ(searches(), 1);
}

// Samba sends the same cookie with every page and keeps the place itself.
TEST_F(LdapFaultTest, SameCookieEveryPageIsFollowedToTheEnd)
{
    start("same-cookie", 2500, true);
    search();
    expectNoBox();
    EXPECT_EQ(listed(), mails(0, 2500));
    EXPECT_EQ(searches(), 3);
}

// A server that sends a page again would be asked for ever. Stopping quietly would show a
// list that looks complete but is not; the user is told, with the rows read so far where they
// are already listed, as when the server goes away between pages.
TEST_F(LdapFaultTest, PageSentAgainStopsTheSearchWithABox)
{
    start("repeat-page", 2500, true);
    search();
    const QString text = oneBox();
    EXPECT_TRUE(text.contains("sent a page it had sent before")) << text.toStdString();
    EXPECT_TRUE(text.contains("incomplete")) << text.toStdString();
    EXPECT_EQ(listed(), mails(0, 1000));
    EXPECT_EQ(searches(), 2);
}

TEST_F(LdapFaultTest, PageSentAgainWhereTheClientSortsListsNothing)
{
    start("repeat-page", 2500, false);
    search();
    EXPECT_TRUE(oneBox().contains("sent a page it had sent before")) << oneBox().toStdString();
    EXPECT_TRUE(listed().isEmpty());
    EXPECT_EQ(searches(), 2);
}

// Cookies A, B, A: the third page is the second again.
TEST_F(LdapFaultTest, PageThatComesRoundAgainStopsTheSearch)
{
    start("cycle-cookie", 5000, true);
    search();
    EXPECT_TRUE(oneBox().contains("sent a page it had sent before")) << oneBox().toStdString();
    EXPECT_EQ(listed(), mails(0, 2000));
    EXPECT_EQ(searches(), 2 + 1);
}

TEST_F(LdapFaultTest, ContinuationReferencesAreSkippedNotChased)
{
    start("references", 1500, false);
    search();
    expectNoBox();
    EXPECT_EQ(listed(), mails(0, 1500));
    // A chase would be a second connection, bind and search of the other base.
    EXPECT_EQ(server.events("connect").size(), 1);
    EXPECT_EQ(server.events("bind").size(), 1);
    for (const QJsonObject &request : server.events("search"))
        EXPECT_EQ(request.value("base").toString(), "OU=People,DC=fault,DC=test");
}

// A referral that ends a search which has already returned entries says, like a continuation
// reference, that more is held elsewhere: the entries are listed, the referral is not chased.
TEST_F(LdapFaultTest, ReferralAfterEntriesIsSkippedNotChased)
{
    start("referral", 150, true);
    search();
    expectNoBox();
    EXPECT_EQ(listed(), mails(0, 150));
    EXPECT_EQ(server.events("bind").size(), 1);
    EXPECT_EQ(searches(), 1);
}

// A referral and nothing else: the base is held by another server, which the box names.
TEST_F(LdapFaultTest, ReferralAloneNamesTheOtherServer)
{
    start("referral", 0, true);
    search();
    const QString text = oneBox();
    EXPECT_TRUE(text.startsWith("Referral (LDAP result 10): Referral.")) << text.toStdString();
    EXPECT_TRUE(text.contains(
            QStringLiteral("ldap://127.0.0.1:%1/OU=Elsewhere,DC=fault,DC=test").arg(server.port())))
            << text.toStdString();
    EXPECT_TRUE(listed().isEmpty());
    EXPECT_EQ(server.events("bind").size(), 1);
    EXPECT_EQ(searches(), 1);
}
