// The Send button against servers that misbehave, each played by the scripted server: what the
// user sees (one box, the server's own words and code, the status line empty), and what the
// server saw (nothing sent twice, nothing sent after a refusal, no final dot after a failure).
#include "MailIntegrationFixture.h"

#include <QElapsedTimer>
#include <QRegularExpression>

#include <optional>
#include <vector>

using namespace orvane;
using form::Control;
using form::StatusKind;
using test::SmtpTestServer;

namespace {

// How many lines of the server's log must start with a pattern (a command or an event).
struct Seen
{
    const char *line; // a regular expression, matched at the start of a line, any case
    int times;
    bool atMost = false;
};

// What the form asks for beyond two recipients and no login.
enum class Ask { Plain, Login, LoginTls };

// One scenario of the scripted server, what the user must be told, what the server must have
// seen. No kind: the message must have been sent.
struct Fault
{
    const char *name;
    const char *scenario;
    std::optional<StatusKind> kind;
    QStringList says;
    const char *neverSays = nullptr;
    std::vector<Seen> seen;
    Ask ask = Ask::Plain;
    const char *attachment = nullptr; // created with attachmentSize bytes, handed to the server
    qint64 attachmentSize = 0;
    bool quick = false;    // over long before the 3 s stall time-out
    bool waitsEnd = false; // the server logs the client's leaving after the click returned
};

void PrintTo(const Fault &row, std::ostream *out)
{
    *out << row.name;
}

constexpr qint64 eightMiB = qint64(8) * 1024 * 1024;

// clang-format off
const Fault faults[] = {
    {"GreetingRefusedTemporarilySaysTryLater", "greeting-421", StatusKind::ServerRefused,
     {"421 4.3.2 scripted closing: too busy", "try again later"}, nullptr,
     {{"EHLO", 0}, {"MAIL", 0}}},
    {"GreetingRefusedForGoodNamesTheServersWords", "greeting-554", StatusKind::ServerRefused,
     {"554 5.7.1 scripted: no SMTP service for you", "administrator"}, nullptr, {{"MAIL", 0}}},
    // libcurl's connect time-out (2 s here) also covers the wait for the greeting.
    {"SilentGreetingQuotesTheConnectTimeOutThatEndedTheWait", "silent-greeting",
     StatusKind::Timeout, {"nothing happened for 2 seconds (it never sent its greeting)"}, nullptr,
     {{"CLIENT LEFT", 1}}, Ask::Plain, nullptr, 0, false, true},
    {"EhloRefusedFallsBackToHeloWithoutTls", "ehlo-refused", std::nullopt,
     {}, nullptr, {{"HELO", 1}, {"MESSAGE COMPLETE", 1}}},
    {"EhloRefusedFailsWhenTlsIsAsked", "ehlo-refused", StatusKind::StartTlsUnavailable,
     {"502 5.5.2 EHLO not implemented"}, nullptr,
     {{"HELO", 0}, {"AUTH", 0}, {"MAIL", 0}}, Ask::LoginTls},
    {"MailFromAnswered451IsTemporary", "mail-451", StatusKind::ServerRefused,
     {"451 4.3.0 scripted: local error in processing", "not sent", "try again later"}, nullptr,
     {{"RCPT", 0}}},
    {"MailFromAnswered501BlamesTheSender", "mail-501", StatusKind::SenderRefused,
     {"501 5.1.7 scripted: bad sender address syntax", "From address"}, nullptr, {{"RCPT", 0}}},
    {"EveryRecipientRefusedSendsNothing", "rcpt-all-refused", StatusKind::RecipientRefused,
     {"ann@example.org", "550 5.1.1", "not sent to anyone"}, nullptr, {{"DATA", 0}}},
    {"OneOfTwoRecipientsRefusedSendsNothingAndNamesIt", "rcpt-second-refused",
     StatusKind::RecipientRefused, {"bob@example.org", "553 5.1.3", "not sent to anyone"},
     "ann@example.org", {{"RCPT", 2}, {"DATA", 0}}},
    {"SizeRefusedAtMailFrom", "size-552-at-mail", StatusKind::SizeRefused,
     {"552 5.3.4 scripted: message size exceeds fixed limit", "smaller file"}, nullptr,
     {{"MAIL FROM", 1}, {"MAIL FROM.*SIZE=", 1}, {"DATA", 0}}, Ask::Plain, "size-mail.bin", 30000},
    {"SizeRefusedAfterTheMessage", "size-552-at-dot", StatusKind::SizeRefused,
     {"552 5.3.4 scripted: message too big for this mailbox", "smaller file"}, nullptr,
     {{"MESSAGE COMPLETE", 1}}, Ask::Plain, "size-dot.bin", 30000},
    // Far more than the socket buffers hold, so the upload is still going when the reset comes.
    {"ConnectionDroppedBeforeTheFinalDotSaysNotSent", "drop-in-data", StatusKind::ConnectionLost,
     {"broke off", "was not sent"}, "may or may not",
     {{"HUNG UP IN DATA", 1}, {"MESSAGE COMPLETE", 0}},
     Ask::Plain, "drop-before-dot.bin", eightMiB},
    {"ConnectionDroppedAfterTheFinalDotSaysDeliveryIsUnknown", "hangup-after-dot",
     StatusKind::DeliveryUnknown, {"may or may not have been delivered", "before sending it again"},
     "was not sent", {{"MESSAGE COMPLETE", 1}}},
    {"NoAnswerAfterTheFinalDotSaysDeliveryIsUnknown", "silent-after-dot",
     StatusKind::DeliveryUnknown,
     {"no answer came for 3 seconds", "may or may not have been delivered"}, nullptr,
     {{"MESSAGE COMPLETE", 1}}},
    {"HundredKilobyteReplyLineGivesABoundedDescription", "long-reply", StatusKind::RecipientRefused,
     {"ann@example.org", "550 5.1.1 xxxx", "scripted: that was long"}, nullptr, {{"DATA", 0}},
     Ask::Plain, nullptr, 0, true},
    {"HundredKilobyteGreetingLineIsNoObstacle", "long-greeting", std::nullopt,
     {}, nullptr, {{"MESSAGE COMPLETE", 1}}},
    // The server echoes each line back, the password's base64 included: the box must not.
    {"EndlessLoginChallengesEndInBoundedTime", "auth-challenges", StatusKind::AuthRejected,
     {"334", "still asked for more"}, nullptr, {{"\\(auth data\\)", 19, true}, {"MAIL", 0}},
     Ask::Login, nullptr, 0, true},
    {"EndlessLoginChallengeReplyEndsInBoundedTime", "auth-stream", StatusKind::ConnectionLost,
     {"never finished its reply", "334 more"}, nullptr, {{"STREAM STOPPED", 1}, {"MAIL", 0}},
     Ask::Login, nullptr, 0, true, true},
    // Servers that have stopped taking passwords point at the OAuth sign-in.
    {"PasswordRefusedAs5_7_139PointsAtOAuth", "auth-basic-off", StatusKind::AuthRejected,
     {"535 5.7.139", "only an OAuth sign-in", "leave the password empty"}, nullptr, {{"MAIL", 0}},
     Ask::Login, nullptr, 0, true},
    {"PasswordRefusedAs5_7_30PointsAtOAuth", "auth-550-5730", StatusKind::AuthRejected,
     {"550 5.7.30", "only an OAuth sign-in", "OAUTH SIGN-IN"}, nullptr, {{"MAIL", 0}},
     Ask::Login, nullptr, 0, true},
    {"MailWithoutLoginAs5_7_57AsksForTheLogin", "mail-530-5757", StatusKind::AuthRequired,
     {"530 5.7.57", "Tick SMTP Authentication"}, nullptr, {{"RCPT", 0}}},
    {"AttachmentTruncatedDuringDataAbortsWithoutTheFinalDot", "truncate-in-data",
     StatusKind::Attachment,
     {"shrinking.pdf", "shorter", "was not sent"}, nullptr,
     {{"TRUNCATED", 1}, {"MESSAGE COMPLETE", 0}, {"CLOSED IN DATA", 1}},
     Ask::Plain, "shrinking.pdf", 300000, false, true},
};
// clang-format on

class SmtpFaultTest : public test::MailIntegrationFixture,
                      public ::testing::WithParamInterface<Fault>
{
protected:
    // Starts the scenario and fills the form to send to it: two recipients, and what it asks.
    void serve(const Fault &row)
    {
        const QString file
                = row.attachment ? createFile(row.attachment, QByteArray(row.attachmentSize, 'a'))
                                 : QString();
        startScripted(server, row.scenario, file);
        fillForm(server.port());
        form.preset(Control::txtTo, "ann@example.org, bob@example.org");
        if (!file.isEmpty())
            form.preset(Control::txtAttachment, file);
        if (row.ask != Ask::Plain)
            tickLogin("ann", password);
        if (row.ask == Ask::LoginTls)
            form.presetValue(Control::chkSSL, form::Ticked);
    }

    // Short time-outs: a row that would hang fails within seconds instead.
    qint64 clickTimed()
    {
        mail::TransportOptions quick = options();
        quick.connectTimeout = std::chrono::seconds(2);
        quick.stallTimeout = std::chrono::seconds(3);
        QElapsedTimer timer;
        timer.start();
        click(quick);
        return timer.elapsed();
    }

    int logged(const char *line) const
    {
        const QRegularExpression start(QStringLiteral("^(?:%1)").arg(line),
                                       QRegularExpression::CaseInsensitiveOption);
        return int(server.scriptLog().filter(start).size());
    }

    QString boxText() const { return form.boxes.empty() ? QString() : form.boxes.front().text; }

    SmtpTestServer server;
};

TEST_P(SmtpFaultTest, SaysWhatHappenedAndSendsNothingTwice)
{
    const Fault &row = GetParam();
    serve(row);
    const qint64 elapsed = clickTimed();
    if (row.kind) {
        expectOneFailure(*row.kind, row.says);
    } else {
        expectSent();
    }
    if (row.neverSays) {
        EXPECT_FALSE(boxText().contains(row.neverSays)) << boxText().toStdString();
    }
    EXPECT_LT(boxText().size(), 2000);
    if (row.quick) {
        EXPECT_LT(elapsed, 2500) << "waited for a time-out";
    }
    if (row.waitsEnd) {
        ASSERT_TRUE(server.waitForExit(10000));
    }
    for (const Seen &seen : row.seen) {
        if (seen.atMost) {
            EXPECT_LE(logged(seen.line), seen.times) << seen.line;
        } else {
            EXPECT_EQ(logged(seen.line), seen.times) << seen.line;
        }
    }
    // A message goes at most once, and only when the server got that far.
    for (const char *step : {"MAIL FROM", "DATA", "MESSAGE COMPLETE"}) {
        EXPECT_LE(logged(step), 1) << step;
    }
}

INSTANTIATE_TEST_SUITE_P(Scripted, SmtpFaultTest, ::testing::ValuesIn(faults),
                         [](const auto &info) { return std::string(info.param.name); });

} // namespace
