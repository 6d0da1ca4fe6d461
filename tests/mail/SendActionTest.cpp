// The Send button against a recording form and recording mail components: what is read, in
// which order, what reaches the component, and what the user sees.
#include "mail/SendAction.h"

#include "RecordingMailComponents.h"
#include "mail/GeneralDateTime.h"
#include "support/RecordingForm.h"

#include <QDateTime>
#include <QRegularExpression>
#include <QTimeZone>

#include <gtest/gtest.h>

using namespace orvane;
using form::Control;

namespace {

class SendActionTest : public ::testing::Test
{
protected:
    SendActionTest()
        : components(form.calls)
    {
        form.preset(Control::txtFrom, QStringLiteral("scanner@example.com"));
        form.preset(Control::txtTo, QStringLiteral("ann@example.org"));
        form.preset(Control::txtSMTP, QStringLiteral("  smtp.example.com  "));
        form.preset(Control::txtPort, QStringLiteral(" 587 "));
        form.preset(Control::txtUsername, QStringLiteral(" ann "));
        form.preset(Control::txtPassword, QStringLiteral(" s3cret\t "));
        form.preset(Control::txtSubject, QStringLiteral(" Invoice "));
        form.preset(Control::txtBody, QStringLiteral("Hello"));
    }

    void click()
    {
        before = QDateTime::currentDateTime();
        mail::btnOrvane_Click(form, components);
        after = QDateTime::currentDateTime();
    }

    // The calls from `from` on, with the status line's date and time replaced by "<now>".
    QStringList callsFrom(const QString &first) const
    {
        QStringList calls = form.calls.mid(form.calls.indexOf(first));
        for (QString &call : calls)
            call.replace(QRegularExpression(QStringLiteral("^(setCaption lblStatus=Message "
                                                           "Sent\\. ).+$")),
                         QStringLiteral("\\1<now>"));
        return calls;
    }

    QStringList fieldCalls() const
    {
        QStringList out;
        for (const QString &call : form.calls)
            if (call.startsWith(u"setValue "))
                out.append(call.mid(9));
        return out;
    }

    test::RecordingForm form;
    test::RecordingMailComponents components;
    QDateTime before;
    QDateTime after;
};

TEST_F(SendActionTest, AuthenticationOnReadsAndSetsEveryFieldInOrder)
{
    form.presetValue(Control::chkSMTPAuth, form::Ticked);
    form.presetValue(Control::chkSSL, form::Ticked);
    click();

    const QStringList expected = {
            "setCaption lblStatus=",
            "text txtFrom",
            "text txtTo",
            "createMessage",
            "field sendusing",
            "setValue sendusing=int16:2",
            "field smtpserver",
            "text txtSMTP",
            "setValue smtpserver=text:smtp.example.com",
            "field smtpserverport",
            "text txtPort",
            "setValue smtpserverport=text:587",
            "value chkSMTPAuth",
            "field smtpauthenticate",
            "setValue smtpauthenticate=int16:1",
            "field sendusername",
            "text txtUsername",
            "setValue sendusername=text:ann",
            "field sendpassword",
            "text txtPassword",
            "setValue sendpassword=text:s3cret\t",
            "field smtpusessl",
            "value chkSSL",
            "setValue smtpusessl=bool:-1",
            "updateFields",
            "text txtTo",
            "setTo ann@example.org",
            "text txtFrom",
            "setFrom scanner@example.com",
            "text txtSubject",
            "text txtSubject",
            "setSubject  Invoice ",
            "text txtBody",
            "setTextBody Hello\r\n\r\n",
            "text txtAttachment",
            "send",
            "setCaption lblStatus=Message Sent. <now>",
            "release Message",
    };
    EXPECT_EQ(callsFrom(expected.first()), expected);
    EXPECT_TRUE(form.boxes.empty());
    EXPECT_EQ(components.alive, 0);
}

TEST_F(SendActionTest, AuthenticationOffSetsNoCredentialsWhateverTheBoxesHold)
{
    form.presetValue(Control::chkSMTPAuth, form::Unticked);
    click();

    EXPECT_EQ(fieldCalls(), QStringList({"sendusing=int16:2", "smtpserver=text:smtp.example.com",
                                         "smtpserverport=text:587", "smtpauthenticate=int16:0",
                                         "smtpusessl=bool:0"}));
    EXPECT_FALSE(form.calls.contains("text txtUsername"));
    EXPECT_FALSE(form.calls.contains("text txtPassword"));
}

TEST_F(SendActionTest, CheckBoxValuesOnlyOneCountsAsTicked)
{
    // A tick left in the hidden SSL box still turns SSL on.
    form.presetValue(Control::chkSSL, form::Ticked);
    form.setVisible(Control::chkSSL, false);
    click();
    EXPECT_TRUE(fieldCalls().contains("smtpusessl=bool:-1"));

    // Greyed (2) counts as not ticked, for both boxes.
    form.calls.clear();
    form.presetValue(Control::chkSMTPAuth, form::Greyed);
    form.presetValue(Control::chkSSL, form::Greyed);
    click();
    EXPECT_TRUE(fieldCalls().contains("smtpauthenticate=int16:0"));
    EXPECT_TRUE(fieldCalls().contains("smtpusessl=bool:0"));
    EXPECT_FALSE(fieldCalls().contains("sendusername=text:ann"));
}

TEST_F(SendActionTest, BlankSenderOrRecipientShowsOneBoxAndCreatesNothing)
{
    const std::vector<std::pair<QString, QString>> blanks
            = {{"   ", "ann@example.org"}, {"scanner@example.com", ""}, {" ", "  "}};
    for (const auto &[from, to] : blanks) {
        test::RecordingForm blankForm;
        test::RecordingMailComponents blankComponents(blankForm.calls);
        blankForm.preset(Control::txtFrom, from);
        blankForm.preset(Control::txtTo, to);
        mail::btnOrvane_Click(blankForm, blankComponents);
        EXPECT_EQ(blankForm.calls,
                  QStringList({"setCaption lblStatus=", "text txtFrom", "text txtTo",
                               "messageBox orvane: From or To address is blank!"}))
                << from.toStdString() << "|" << to.toStdString();
        EXPECT_TRUE(blankForm.captionOf(Control::lblStatus).isEmpty());
    }
}

TEST_F(SendActionTest, OnlySpacesAreTrimmedAndUntrimmedTextsReachTheMessage)
{
    form.preset(Control::txtFrom, QStringLiteral("\t"));
    form.preset(Control::txtTo, QStringLiteral("  ann@example.org "));
    click();
    EXPECT_TRUE(form.boxes.empty());
    EXPECT_TRUE(form.calls.contains("setFrom \t"));
    EXPECT_TRUE(form.calls.contains("setTo   ann@example.org "));
}

TEST_F(SendActionTest, BlankSubjectBecomesTheDefaultAndIsReadOnce)
{
    form.preset(Control::txtSubject, QStringLiteral("    "));
    click();
    EXPECT_EQ(form.calls.count("text txtSubject"), 1);
    EXPECT_TRUE(form.calls.contains("setSubject IMAGE from Internet FAX"));
}

TEST_F(SendActionTest, BodyAlwaysEndsWithTwoLineBreaks)
{
    form.preset(Control::txtBody, QString());
    click();
    EXPECT_TRUE(form.calls.contains("setTextBody \r\n\r\n"));

    form.preset(Control::txtBody, QStringLiteral(" line 1\nline 2 "));
    click();
    EXPECT_TRUE(form.calls.contains("setTextBody  line 1\nline 2 \r\n\r\n"));
}

TEST_F(SendActionTest, StatusShowsSentWithTheLocalDateAndTime)
{
    click();
    const QString status = form.captionOf(Control::lblStatus);
    const QString prefix = QStringLiteral("Message Sent. ");
    ASSERT_TRUE(status.startsWith(prefix)) << status.toStdString();
    const QString when = status.mid(prefix.size());
    EXPECT_TRUE(when == mail::generalDateTimeText(before)
                || when == mail::generalDateTimeText(after))
            << when.toStdString();
}

TEST_F(SendActionTest, EmptyOrSpacesOnlyAttachmentIsNotTested)
{
    for (const QString &path : {QString(), QStringLiteral("   ")}) {
        form.calls.clear();
        form.preset(Control::txtAttachment, path);
        click();
        EXPECT_EQ(form.calls.count("text txtAttachment"), 1);
        EXPECT_FALSE(form.calls.contains("createFileSystem"));
        EXPECT_TRUE(form.boxes.empty());
        EXPECT_TRUE(form.calls.contains("send"));
    }
}

TEST_F(SendActionTest, ExistingAttachmentIsAttachedWithItsUntrimmedPath)
{
    form.preset(Control::txtAttachment, QStringLiteral(" /scans/page 1.pdf"));
    click();
    const QStringList expected = {
            "text txtAttachment",
            "createFileSystem",
            "text txtAttachment",
            "fileExists  /scans/page 1.pdf",
            "text txtAttachment",
            "addAttachment  /scans/page 1.pdf||",
            "send",
            "setCaption lblStatus=Message Sent. <now>",
            "release Message",
            "release FileSystem",
    };
    EXPECT_EQ(callsFrom(expected.first()), expected);
    EXPECT_EQ(components.alive, 0);
}

TEST_F(SendActionTest, MissingAttachmentShowsItsBoxAndTheSendGoesOn)
{
    form.preset(Control::txtAttachment, QStringLiteral("/scans/gone.pdf"));
    components.fileExistsAnswer = false;
    click();
    const QStringList expected = {
            "fileExists /scans/gone.pdf",
            "messageBox orvane: File Attachment can not be found! Message sent without attachment",
            "send",
            "setCaption lblStatus=Message Sent. <now>",
            "release Message",
            "release FileSystem",
    };
    EXPECT_EQ(callsFrom(expected.first()), expected);
}

TEST_F(SendActionTest, MissingAttachmentThenFailedSendShowsBothBoxesInOrder)
{
    form.preset(Control::txtAttachment, QStringLiteral("/scans/gone.pdf"));
    components.fileExistsAnswer = false;
    components.failures["send"]
            = form::Status::failure(form::StatusKind::Connect, 7, QStringLiteral("no route"));
    click();
    ASSERT_EQ(form.boxes.size(), 2u);
    EXPECT_EQ(form.boxes[0].text,
              "File Attachment can not be found! Message sent without attachment");
    EXPECT_EQ(form.boxes[1].text, "orvane error no route");
    EXPECT_TRUE(form.captionOf(Control::lblStatus).isEmpty());
}

// A failure at any step ends the click with one box, nothing after it, an empty status line,
// and every object released.
TEST_F(SendActionTest, FailureAtAnyStepShowsOneBoxAndReleasesEverything)
{
    const QStringList verbs
            = {"createMessage", "field",      "setValue",    "updateFields",     "setTo",
               "setFrom",       "setSubject", "setTextBody", "createFileSystem", "fileExists",
               "addAttachment", "send"};
    for (const QString &verb : verbs) {
        test::RecordingForm failing;
        test::RecordingMailComponents failingComponents(failing.calls);
        failing.preset(Control::txtFrom, QStringLiteral("a@example.com"));
        failing.preset(Control::txtTo, QStringLiteral("b@example.com"));
        failing.preset(Control::txtAttachment, QStringLiteral("/scans/a.pdf"));
        failing.preset(Control::txtPassword, QStringLiteral("hunter22"));
        failing.presetValue(Control::chkSMTPAuth, form::Ticked);
        failingComponents.failures[verb] = form::Status::failure(
                form::StatusKind::ServerRefused, 554, QStringLiteral("it failed at ") + verb);
        mail::btnOrvane_Click(failing, failingComponents);

        ASSERT_EQ(failing.boxes.size(), 1u) << verb.toStdString();
        EXPECT_EQ(failing.boxes[0].text, "orvane error it failed at " + verb);
        EXPECT_EQ(failing.boxes[0].caption, "orvane");
        EXPECT_TRUE(failing.captionOf(Control::lblStatus).isEmpty());
        EXPECT_EQ(failingComponents.alive, 0) << verb.toStdString();
        qsizetype failedAt = 0;
        while (failedAt < failing.calls.size() && !failing.calls[failedAt].startsWith(verb + u' ')
               && failing.calls[failedAt] != verb)
            ++failedAt;
        ASSERT_LT(failedAt, failing.calls.size()) << verb.toStdString();
        for (qsizetype i = failedAt + 1; i < failing.calls.size(); ++i)
            EXPECT_TRUE(failing.calls[i].startsWith(u"messageBox")
                        || failing.calls[i].startsWith(u"release"))
                    << verb.toStdString() << ": " << failing.calls[i].toStdString();
    }
}

// A sign-in the user cancelled is no failure to report: the status line says nothing was sent.
TEST_F(SendActionTest, CancelledSignInSaysSoInTheStatusLineWithoutABox)
{
    components.failures["send"] = form::Status::failure(form::StatusKind::Cancelled, 0, {});
    click();
    EXPECT_TRUE(form.boxes.empty());
    EXPECT_EQ(form.captionOf(Control::lblStatus), mail::cancelledStatus);
    EXPECT_EQ(components.alive, 0);
}

TEST_F(SendActionTest, ClickingAgainSendsAgainWithNewObjects)
{
    click();
    click();
    EXPECT_EQ(form.calls.count("createMessage"), 2);
    EXPECT_EQ(form.calls.count("send"), 2);
    EXPECT_EQ(components.alive, 0);
}

TEST(TrimSpaces, RemovesOnlySpaceCharacters)
{
    EXPECT_EQ(mail::trimSpaces("  a b  "), "a b");
    EXPECT_EQ(mail::trimSpaces("\t a \r\n"), "\t a \r\n");
    EXPECT_EQ(mail::trimSpaces("    "), "");
    EXPECT_EQ(mail::trimSpaces(QString()), "");
}

TEST(GeneralDateTime, ShortDateSpaceLongTimeWithoutZone)
{
    const QDateTime when(QDate(2026, 12, 7), QTime(6, 24, 7), QTimeZone("Europe/Berlin"));
    EXPECT_EQ(mail::generalDateTimeText(when, QLocale(QLocale::German, QLocale::Germany)),
              "07.12.26 06:24:07");
    const QString us
            = mail::generalDateTimeText(when, QLocale(QLocale::English, QLocale::UnitedStates));
    EXPECT_TRUE(us.startsWith("12/7/26 6:24:07")) << us.toStdString();
    EXPECT_FALSE(us.contains("CET")) << us.toStdString();

    EXPECT_EQ(mail::timeFormatWithoutZone("h:mm:ss AP t"), "h:mm:ss AP");
    EXPECT_EQ(mail::timeFormatWithoutZone("t HH:mm:ss"), "HH:mm:ss");
    EXPECT_EQ(mail::timeFormatWithoutZone("HH 'h' mm 'min' ss 's' (t)"), "HH 'h' mm 'min' ss 's'");
    EXPECT_EQ(mail::timeFormatWithoutZone("H'h'mm 'et' t"), "H'h'mm 'et'");
}

} // namespace
