// The directory search against a server that misbehaves: the whole search action with the
// recording form and the real libldap components, one scripted server per test.
#include "ScriptedLdapServer.h"
#include "directory/LdapDirectoryComponents.h"
#include "directory/SearchAction.h"
#include "support/Loopback.h"
#include "support/QtPrinters.h"
#include "support/RecordingForm.h"
#include "support/RequireServer.h"

#include <QElapsedTimer>
#include <QJsonArray>

#include <csignal>
#include <gtest/gtest.h>
#include <iostream>
#include <tuple>
#include <vector>

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
    // A server that hangs up makes the next write fail with EPIPE instead of ending the
    // process, as in the program, which ignores SIGPIPE from the first line of main.
    static void SetUpTestSuite() { std::signal(SIGPIPE, SIG_IGN); }

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

    // The search button, with the answer time-out handed in; returns how long it took. With
    // tls, the server's port is taken for LDAP over TLS.
    std::chrono::milliseconds search(std::chrono::milliseconds answerTimeout = relaxed,
                                     bool tls = false)
    {
        form.preset(Control::txtLdapCon,
                    QStringLiteral("127.0.0.1:%1/OU=People,DC=fault,DC=test").arg(server.port()));
        form.preset(Control::txtLdap, QStringLiteral("Person"));
        form.preset(Control::txtLdapUser, QStringLiteral("CN=Reader,DC=fault,DC=test"));
        form.preset(Control::txtLdapPassword, password);
        LdapProviderOptions options;
        options.connectTimeout = 2s;
        options.answerTimeout = answerTimeout;
        options.portRule = [tls](int) { return tls ? TransportMode::Tls : TransportMode::Plain; };
        LdapDirectoryComponents components(options);
        QElapsedTimer timer;
        timer.start();
        cmdLdapSearch_Click(form, components);
        const auto took = std::chrono::milliseconds(timer.elapsed());
        for (const RecordingForm::Box &box : form.boxes) {
            EXPECT_FALSE(box.text.contains(password)) << box.text.toStdString();
        }
        for (const QString &item : listed()) {
            EXPECT_FALSE(item.contains(password));
        }
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

// How often the server must have seen an event ("connect", "bind", "search", "drop", ...).
struct Seen
{
    const char *event;
    qsizetype times;
};

// One scenario of the scripted server and what the search must make of it: the box (none when
// opening and says are empty), how many rows are listed (the first ones in name order), and what
// the server must have seen.
struct Fault
{
    const char *name;
    const char *scenario;
    int entries;
    bool sorts;
    const char *opening; // how the box begins
    QStringList says;    // what else it says
    int listed;
    std::vector<Seen> seen;
    bool tls = false; // the port is taken for LDAP over TLS
};

void PrintTo(const Fault &row, std::ostream *out)
{
    *out << row.name;
}

const char *const lost = "Can't contact LDAP server (LDAP result -1).";
const char *const again = "sent a page it had sent before";

// clang-format off
const Fault faults[] = {
    // A refused bind: the server's words and code, and what they mean in plain words.
    {"BindRefused", "bind-refused", 10, true, nullptr, {"Invalid credentials (LDAP result 49): 80090308: LdapErr: DSID-0C09041C, comment: AcceptSecurityContext error, data 52e, v4563", "password is wrong: check both"}, 0, {{"bind", 1}, {"search", 0}}},
    {"BindLocked", "bind-locked", 10, true, nullptr, {"data 775", "locked out"}, 0, {{"bind", 1}, {"search", 0}}},
    {"BindStrong", "bind-strong", 10, true, nullptr, {"(LDAP result 8): BindSimple: Transport encryption required.", "does not offer StartTLS on this port: use port 636"}, 0, {{"bind", 1}, {"search", 0}}},
    {"BindConfidential", "bind-confidential", 10, true, nullptr, {"(LDAP result 13): 00002028", "only over an encrypted connection: use port 636"}, 0, {{"bind", 1}, {"search", 0}}},
    // Where the server sorts, rows are listed as pages arrive: those already listed stay.
    {"ServerGoneBetweenPagesKeepsTheRowsListedWhereTheServerSorts", "drop-after-page", 2500, true, lost, {"lost during the search"}, 1000, {{"search", 2}, {"drop", 1}}},
    // Where the client sorts, nothing can be listed before the last page: the list stays empty.
    {"ServerGoneBetweenPagesListsNothingWhereTheClientSorts", "drop-after-page", 2500, false, lost, {}, 0, {{"search", 2}}},
    {"ServerWithoutPagingControlIsTheLastPage", "no-paging", 1500, false, nullptr, {}, 1500, {{"search", 1}}},
    // Samba sends the same cookie with every page and keeps the place itself.
    {"SameCookieEveryPageIsFollowedToTheEnd", "same-cookie", 2500, true, nullptr, {}, 2500, {{"search", 3}}},
    // A server that sends a page again would be asked for ever. Stopping quietly would show a
    // list that looks complete but is not; the user is told, with the rows read so far where
    // they are already listed, as when the server goes away between pages.
    {"PageSentAgainStopsTheSearchWithABox", "repeat-page", 2500, true, nullptr, {again, "incomplete"}, 1000, {{"search", 2}}},
    {"PageSentAgainWhereTheClientSortsListsNothing", "repeat-page", 2500, false, nullptr, {again}, 0, {{"search", 2}}},
    // Cookies A, B, A: the third page is the second again.
    {"PageThatComesRoundAgainStopsTheSearch", "cycle-cookie", 5000, true, nullptr, {again}, 2000, {{"search", 2 + 1}}},
    // A chase would be a second connection, bind and search of the other base.
    {"ContinuationReferencesAreSkippedNotChased", "references", 1500, false, nullptr, {}, 1500, {{"connect", 1}, {"bind", 1}}},
    // A referral that ends a search which has already returned entries says, like a
    // continuation reference, that more is held elsewhere: the entries are listed, the referral
    // is not chased.
    {"ReferralAfterEntriesIsSkippedNotChased", "referral", 150, true, nullptr, {}, 150, {{"bind", 1}, {"search", 1}}},
    // Busy is "try again": the page is asked for again, and the search goes on.
    {"BusyServerIsAskedAgainForThePage", "busy-page", 2500, true, nullptr, {}, 2500, {{"busy", 2}, {"search", 5}}},
    // ... but not for ever: a few tries, whatever the time-out.
    {"ServerBusyForEverIsAskedAFewTimes", "busy-forever", 2500, true, "Server is busy (LDAP result 51)", {}, 1000, {{"busy", 8}, {"search", 9}}},
    // A server that takes StartTLS and hangs up without listing it (Samba with TLS off) is one
    // that does not take it: the bind goes over a new plain connection, as it always did.
    {"StartTlsTakenThenHungUpBindsOnANewConnection", "starttls-hangup", 150, true, nullptr, {}, 150, {{"connect", 2}, {"hangup", 1}, {"bind", 1}}},
    // Where the server lists StartTLS, that is a failure, and no password goes in the clear.
    {"ListedStartTlsTakenThenHungUpSendsNoPassword", "starttls-hangup-listed", 150, true, "Could not open a secure connection (StartTLS)", {"closed the connection during the TLS handshake", "No password was sent."}, 0, {{"connect", 1}, {"bind", 0}}},
    // A handshake that fails for a reason other than the certificate is no certificate problem:
    // the box quotes the libraries. The server was asked again, for its certificate.
    {"HandshakeAnsweredWithGarbageQuotesTheLibraries", "tls-garbage", 10, true, "Could not open a secure connection (TLS)", {"the TLS handshake failed (", "An unexpected TLS packet was received."}, 0, {{"connect", 2}, {"bind", 0}}, true},
};
// clang-format on

class LdapFaultTableTest : public LdapFaultTest, public ::testing::WithParamInterface<Fault>
{};

TEST_P(LdapFaultTableTest, TellsWhatWentWrongAndListsWhatCame)
{
    const Fault &row = GetParam();
    start(row.scenario, row.entries, row.sorts);
    search(relaxed, row.tls);
    if (row.opening || !row.says.isEmpty()) {
        const QString text = oneBox();
        if (row.opening) {
            EXPECT_TRUE(text.startsWith(row.opening)) << text.toStdString();
        }
        for (const QString &words : row.says) {
            EXPECT_TRUE(text.contains(words)) << text.toStdString();
        }
        // Active Directory ends its text with a NUL; none of it reaches the box.
        EXPECT_FALSE(text.contains(QChar(0)));
        // The scripted server has no certificate: no box may blame one.
        EXPECT_FALSE(text.contains("trust")) << text.toStdString();
    } else {
        expectNoBox();
    }
    EXPECT_EQ(listed(), mails(0, row.listed));
    for (const Seen &seen : row.seen) {
        EXPECT_EQ(server.events(seen.event).size(), seen.times) << seen.event;
    }
    for (const QJsonObject &bind : server.events("bind")) {
        EXPECT_EQ(bind.value("name").toString(), "CN=Reader,DC=fault,DC=test");
    }
    for (const QJsonObject &request : server.events("search")) {
        EXPECT_EQ(request.value("base").toString(), "OU=People,DC=fault,DC=test");
    }
}

INSTANTIATE_TEST_SUITE_P(Scripted, LdapFaultTableTest, ::testing::ValuesIn(faults),
                         [](const auto &info) { return std::string(info.param.name); });

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

// A server that accepts the connection and never answers, on a TLS port, on a plain one, and
// after taking StartTLS: one box when the time-out runs out, after one connection (no second
// one to look at a certificate that never came). A port where nothing listens costs one
// connection attempt too.
TEST_F(LdapFaultTest, SilentServerEndsInOneBoxWithinTheTimeOut)
{
    struct Silent
    {
        const char *scenario; // empty: nothing listens on the port
        bool tls;
        const char *says;
    };
    // clang-format off
    const Silent rows[] = {
        {"silent", true, "Timed out (LDAP result -5): no answer to the TLS handshake."},
        {"silent", false, "Timed out (LDAP result -5)."},
        {"starttls-silent", false, "Timed out (LDAP result -5): no answer to the TLS handshake after StartTLS."},
        {"", true, "Can't contact LDAP server (LDAP result -1)"},
    };
    // clang-format on
    for (const Silent &row : rows) {
        SCOPED_TRACE(std::string(row.scenario) + (row.tls ? " on a TLS port" : " on a plain port"));
        form.boxes.clear();
        ScriptedLdapServer silent;
        if (*row.scenario) {
            const QString error = silent.start({row.scenario, 10, false});
            ASSERT_TRUE(error.isEmpty()) << error.toStdString();
        }
        const int port = *row.scenario ? silent.port() : test::freePort();
        form.preset(Control::txtLdapCon,
                    QStringLiteral("127.0.0.1:%1/OU=People,DC=fault,DC=test").arg(port));
        form.preset(Control::txtLdap, QStringLiteral("Person"));
        LdapProviderOptions options;
        options.answerTimeout = 500ms;
        options.portRule
                = [&row](int) { return row.tls ? TransportMode::Tls : TransportMode::Plain; };
        LdapDirectoryComponents components(options);
        QElapsedTimer timer;
        timer.start();
        cmdLdapSearch_Click(form, components);
        std::cout << "    " << (*row.scenario ? row.scenario : "closed")
                  << (row.tls ? " (TLS)" : "") << ": box after " << timer.elapsed() << " ms\n";
        const QString text = oneBox();
        EXPECT_TRUE(text.startsWith(row.says)) << text.toStdString();
        if (*row.scenario) {
            EXPECT_TRUE(text.contains("did not answer within 0.5 seconds")) << text.toStdString();
            // No search had begun: a longer prefix would not help.
            EXPECT_FALSE(text.contains("longer prefix")) << text.toStdString();
            EXPECT_EQ(silent.events("connect").size(), 1);
        }
        EXPECT_TRUE(listed().isEmpty());
    }
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
