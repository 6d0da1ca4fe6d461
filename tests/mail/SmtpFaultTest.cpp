// The Send button against servers that misbehave, each played by the scripted server: what the
// user sees (one box, the server's own words and code, the status line empty), and what the
// server saw (nothing sent twice, nothing sent after a refusal, no final dot after a failure).
#include "MailIntegrationFixture.h"

#include <QElapsedTimer>

using namespace orvane;
using form::Control;
using form::StatusKind;
using test::SmtpTestServer;

namespace {

class SmtpFaultTest : public test::MailIntegrationFixture
{
protected:
    // Starts the scenario and fills the form to send to it: two recipients, no login.
    void serve(const QString &scenario, const QString &file = {})
    {
        startScripted(server, scenario, file);
        fillForm(server.port());
        form.preset(Control::txtTo, "ann@example.org, bob@example.org");
    }

    // Short time-outs: a row that would hang fails within seconds instead.
    void clickTimed()
    {
        mail::TransportOptions quick = options();
        quick.connectTimeout = std::chrono::seconds(2);
        quick.stallTimeout = std::chrono::seconds(3);
        QElapsedTimer timer;
        timer.start();
        click(quick);
        elapsed = timer.elapsed();
    }

    // How many lines of the server's log start with the text (a command or an event).
    int logged(const QString &start) const
    {
        int n = 0;
        for (const QString &line : server.scriptLog())
            n += line.startsWith(start, Qt::CaseInsensitive) ? 1 : 0;
        return n;
    }

    // A message goes at most once, and only when the server got that far.
    void expectNoRetry() const
    {
        EXPECT_LE(logged("MAIL FROM"), 1);
        EXPECT_LE(logged("DATA"), 1);
        EXPECT_LE(logged("MESSAGE COMPLETE"), 1);
    }

    QString boxText() const { return form.boxes.empty() ? QString() : form.boxes.front().text; }

    SmtpTestServer server;
    qint64 elapsed = 0;
};

TEST_F(SmtpFaultTest, GreetingRefusedTemporarilySaysTryLater)
{
    serve("greeting-421");
    clickTimed();
    expectOneFailure(StatusKind::ServerRefused,
                     {"421 4.3.2 scripted closing: too busy", "try again later"});
    EXPECT_EQ(logged("EHLO"), 0);
    EXPECT_EQ(logged("MAIL"), 0);
}

TEST_F(SmtpFaultTest, GreetingRefusedForGoodNamesTheServersWords)
{
    serve("greeting-554");
    clickTimed();
    expectOneFailure(StatusKind::ServerRefused,
                     {"554 5.7.1 scripted: no SMTP service for you", "administrator"});
    EXPECT_EQ(logged("MAIL"), 0);
}

TEST_F(SmtpFaultTest, EhloRefusedFallsBackToHeloWithoutTls)
{
    serve("ehlo-refused");
    clickTimed();
    expectSent();
    EXPECT_EQ(logged("HELO"), 1);
    EXPECT_EQ(logged("MESSAGE COMPLETE"), 1);
    expectNoRetry();
}

TEST_F(SmtpFaultTest, EhloRefusedFailsWhenTlsIsAsked)
{
    serve("ehlo-refused");
    tickLogin("ann", password);
    form.presetValue(Control::chkSSL, form::Ticked);
    clickTimed();
    expectOneFailure(StatusKind::StartTlsUnavailable, {"502 5.5.2 EHLO not implemented"});
    EXPECT_EQ(logged("HELO"), 0);
    EXPECT_EQ(logged("AUTH"), 0);
    EXPECT_EQ(logged("MAIL"), 0);
}

TEST_F(SmtpFaultTest, MailFromAnswered451IsTemporary)
{
    serve("mail-451");
    clickTimed();
    expectOneFailure(StatusKind::ServerRefused, {"451 4.3.0 scripted: local error in processing",
                                                 "not sent", "try again later"});
    EXPECT_EQ(logged("RCPT"), 0);
    expectNoRetry();
}

TEST_F(SmtpFaultTest, MailFromAnswered501BlamesTheSender)
{
    serve("mail-501");
    clickTimed();
    expectOneFailure(StatusKind::SenderRefused,
                     {"501 5.1.7 scripted: bad sender address syntax", "From address"});
    EXPECT_EQ(logged("RCPT"), 0);
    expectNoRetry();
}

TEST_F(SmtpFaultTest, EveryRecipientRefusedSendsNothing)
{
    serve("rcpt-all-refused");
    clickTimed();
    expectOneFailure(StatusKind::RecipientRefused,
                     {"ann@example.org", "550 5.1.1", "not sent to anyone"});
    EXPECT_EQ(logged("DATA"), 0);
}

TEST_F(SmtpFaultTest, OneOfTwoRecipientsRefusedSendsNothingAndNamesIt)
{
    serve("rcpt-second-refused");
    clickTimed();
    expectOneFailure(StatusKind::RecipientRefused,
                     {"bob@example.org", "553 5.1.3", "not sent to anyone"});
    EXPECT_FALSE(boxText().contains("ann@example.org")) << boxText().toStdString();
    EXPECT_EQ(logged("RCPT"), 2);
    EXPECT_EQ(logged("DATA"), 0);
}

TEST_F(SmtpFaultTest, SizeRefusedAtMailFrom)
{
    serve("size-552-at-mail");
    form.preset(Control::txtAttachment, createFile("size-mail.bin", QByteArray(30000, 'a')));
    clickTimed();
    expectOneFailure(StatusKind::SizeRefused,
                     {"552 5.3.4 scripted: message size exceeds fixed limit", "smaller file"});
    EXPECT_EQ(logged("MAIL FROM"), 1);
    EXPECT_TRUE(server.scriptLog().filter("MAIL FROM").join("").contains("SIZE="));
    EXPECT_EQ(logged("DATA"), 0);
}

TEST_F(SmtpFaultTest, SizeRefusedAfterTheMessage)
{
    serve("size-552-at-dot");
    form.preset(Control::txtAttachment, createFile("size-dot.bin", QByteArray(30000, 'a')));
    clickTimed();
    expectOneFailure(StatusKind::SizeRefused,
                     {"552 5.3.4 scripted: message too big for this mailbox", "smaller file"});
    EXPECT_EQ(logged("MESSAGE COMPLETE"), 1);
    expectNoRetry();
}

TEST_F(SmtpFaultTest, ConnectionDroppedBeforeTheFinalDotSaysNotSent)
{
    serve("drop-in-data");
    // Far more than the socket buffers hold, so the upload is still going when the reset comes.
    form.preset(Control::txtAttachment,
                createFile("drop-before-dot.bin", QByteArray(qint64(8) * 1024 * 1024, 'b')));
    clickTimed();
    expectOneFailure(StatusKind::ConnectionLost, {"broke off", "was not sent"});
    EXPECT_FALSE(boxText().contains("may or may not")) << boxText().toStdString();
    EXPECT_EQ(logged("HUNG UP IN DATA"), 1);
    EXPECT_EQ(logged("MESSAGE COMPLETE"), 0);
    expectNoRetry();
}

TEST_F(SmtpFaultTest, ConnectionDroppedAfterTheFinalDotSaysDeliveryIsUnknown)
{
    serve("hangup-after-dot");
    clickTimed();
    expectOneFailure(StatusKind::DeliveryUnknown,
                     {"may or may not have been delivered", "before sending it again"});
    EXPECT_FALSE(boxText().contains("was not sent")) << boxText().toStdString();
    EXPECT_EQ(logged("MESSAGE COMPLETE"), 1);
    expectNoRetry();
}

TEST_F(SmtpFaultTest, NoAnswerAfterTheFinalDotSaysDeliveryIsUnknown)
{
    serve("silent-after-dot");
    clickTimed();
    expectOneFailure(StatusKind::DeliveryUnknown,
                     {"no answer came for 3 seconds", "may or may not have been delivered"});
    EXPECT_EQ(logged("MESSAGE COMPLETE"), 1);
    expectNoRetry();
}

TEST_F(SmtpFaultTest, HundredKilobyteReplyLineGivesABoundedDescription)
{
    serve("long-reply");
    clickTimed();
    expectOneFailure(StatusKind::RecipientRefused,
                     {"ann@example.org", "550 5.1.1 xxxx", "scripted: that was long"});
    EXPECT_LT(boxText().size(), 2000);
    EXPECT_LT(elapsed, 2500) << "waited for a time-out";
    EXPECT_EQ(logged("DATA"), 0);
}

TEST_F(SmtpFaultTest, HundredKilobyteGreetingLineIsNoObstacle)
{
    serve("long-greeting");
    clickTimed();
    expectSent();
    EXPECT_EQ(logged("MESSAGE COMPLETE"), 1);
}

TEST_F(SmtpFaultTest, EndlessLoginChallengesEndInBoundedTime)
{
    serve("auth-challenges");
    tickLogin("ann", password);
    clickTimed();
    // The server echoes each line back, the password's base64 included: the box must not.
    expectOneFailure(StatusKind::AuthRejected, {"334", "still asked for more"});
    EXPECT_LT(elapsed, 2500) << "waited for a time-out";
    EXPECT_LT(logged("(auth data)"), 20);
    EXPECT_EQ(logged("MAIL"), 0);
}

TEST_F(SmtpFaultTest, EndlessLoginChallengeReplyEndsInBoundedTime)
{
    serve("auth-stream");
    tickLogin("ann", password);
    clickTimed();
    expectOneFailure(StatusKind::ConnectionLost, {"never finished its reply", "334 more"});
    EXPECT_LT(boxText().size(), 2000);
    EXPECT_LT(elapsed, 2500) << "waited for a time-out";
    ASSERT_TRUE(server.waitForExit(10000));
    EXPECT_EQ(logged("STREAM STOPPED"), 1);
    EXPECT_EQ(logged("MAIL"), 0);
}

TEST_F(SmtpFaultTest, AttachmentTruncatedDuringDataAbortsWithoutTheFinalDot)
{
    const QString path = createFile("shrinking.pdf", QByteArray(300000, 'c'));
    serve("truncate-in-data", path);
    form.preset(Control::txtAttachment, path);
    clickTimed();
    expectOneFailure(StatusKind::Attachment, {"shrinking.pdf", "shorter", "was not sent"});
    // The server logs the client's leaving after the click returned.
    ASSERT_TRUE(server.waitForExit(10000));
    EXPECT_EQ(logged("TRUNCATED"), 1);
    EXPECT_EQ(logged("MESSAGE COMPLETE"), 0);
    EXPECT_EQ(logged("CLOSED IN DATA"), 1);
    expectNoRetry();
}

} // namespace
