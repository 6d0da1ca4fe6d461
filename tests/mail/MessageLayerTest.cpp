// The message component's checks before it connects, the SMTP dialogue tracker and the file
// test: everything that needs no server.
#include "form/Status.h"
#include "mail/CdoFields.h"
#include "mail/CdoMessage.h"
#include "mail/LocalFileSystem.h"
#include "mail/Redaction.h"
#include "mail/TransportConfig.h"
#include "mail/detail/SmtpDialogue.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace orvane::mail;
using orvane::form::Result;
using orvane::form::Status;
using orvane::form::StatusKind;
namespace cdo = orvane::mail::cdo;

namespace {

std::map<QString, FieldValue> fields(const QString &server, const QString &port)
{
    return {{cdo::fullName(cdo::sendUsing), FieldValue(std::int16_t(2))},
            {cdo::fullName(cdo::smtpServer), FieldValue(server)},
            {cdo::fullName(cdo::smtpServerPort), FieldValue(port)},
            {cdo::fullName(cdo::smtpAuthenticate), FieldValue(std::int16_t(0))},
            {cdo::fullName(cdo::smtpUseSsl), FieldValue(AutomationBool::fromBool(true))}};
}

TEST(TransportConfig, ServerAndPortAreCheckedAndPortDefaultsTo25)
{
    Result<TransportConfig> ok = TransportConfig::fromFields(fields("smtp.example.com", ""));
    ASSERT_TRUE(ok.status.ok());
    EXPECT_EQ(ok.value.port, 25);
    EXPECT_TRUE(ok.value.useSsl);
    EXPECT_FALSE(ok.value.authenticate);

    for (const QString host : {"127.0.0.1", "::1", "[2001:db8::1]", "mail-1.example.org"})
        EXPECT_TRUE(TransportConfig::checkHost(host).status.ok()) << host.toStdString();
    EXPECT_EQ(TransportConfig::checkHost("[::1]").value, "::1");
    EXPECT_EQ(TransportConfig::checkHost("mail.bücher.example").value,
              "mail.xn--bcher-kva.example");
    for (const QString host : {"", "   ", "smtp example.com", "smtp.example.com\r\nX", "999.1.1.1",
                               "-bad.example", "a/b", "user@host", "[::1"}) {
        const Result<QString> checked = TransportConfig::checkHost(host);
        EXPECT_FALSE(checked.status.ok()) << host.toStdString();
    }

    for (const QString port : {"0", "65536", "abc", "25x", "-1", " 2 5", "1e3"}) {
        const Result<TransportConfig> bad = TransportConfig::fromFields(fields("h", port));
        EXPECT_EQ(bad.status.kind, StatusKind::Configuration) << port.toStdString();
        EXPECT_TRUE(bad.status.description.contains('"' + port + '"'));
    }
    EXPECT_EQ(TransportConfig::fromFields(fields("h", "587")).value.port, 587);
}

TEST(TransportConfig, OnlyNetworkSendingAndKnownLoginMethods)
{
    auto config = fields("smtp.example.com", "25");
    config[cdo::fullName(cdo::sendUsing)] = FieldValue(std::int16_t(1));
    EXPECT_TRUE(TransportConfig::fromFields(config).status.description.contains("sendusing"));
    config.erase(cdo::fullName(cdo::sendUsing));
    EXPECT_FALSE(TransportConfig::fromFields(config).status.ok());

    config = fields("smtp.example.com", "25");
    config[cdo::fullName(cdo::smtpAuthenticate)] = FieldValue(std::int16_t(2));
    EXPECT_FALSE(TransportConfig::fromFields(config).status.ok());

    config[cdo::fullName(cdo::smtpAuthenticate)] = FieldValue(std::int16_t(1));
    config[cdo::fullName(cdo::sendUserName)] = FieldValue(QString("ann"));
    config[cdo::fullName(cdo::sendPassword)] = FieldValue(QString(" pass "));
    Result<TransportConfig> login = TransportConfig::fromFields(config);
    ASSERT_TRUE(login.status.ok());
    EXPECT_EQ(login.value.user, "ann");
    EXPECT_EQ(login.value.password, " pass ");
}

class CdoMessageTest : public ::testing::Test
{
protected:
    // A message that would go to a port nobody listens on: any check that happens before
    // connecting fails with its own kind, never with Connect.
    CdoMessage configured()
    {
        CdoMessage message(TransportOptions{});
        for (const auto &[name, value] : fields("127.0.0.1", "1"))
            message.configurationField(name).value->setValue(value);
        message.updateFields();
        message.setFrom("scanner@example.com");
        message.setTo("ann@example.org");
        message.setSubject("Scan");
        message.setTextBody("Body\r\n\r\n");
        return message;
    }
};

TEST_F(CdoMessageTest, FieldsTakeEffectOnlyAfterUpdate)
{
    CdoMessage message(TransportOptions{});
    ASSERT_TRUE(message.configurationField(cdo::fullName(cdo::smtpServer))
                        .value->setValue(QString("h"))
                        .ok());
    EXPECT_TRUE(message.committedFields().empty());
    message.updateFields();
    EXPECT_EQ(message.committedFields().size(), 1u);
    EXPECT_FALSE(message.configurationField("smtpserver").status.ok());
}

TEST_F(CdoMessageTest, HeaderInjectionFailsBeforeConnecting)
{
    const QStringList evil = {"ann@example.org\r\nBcc: all@example.com",
                              "ann@example.org\nRCPT TO:<x@example.com>", "Ann\r <a@example.org>"};
    for (const QString &text : evil) {
        CdoMessage to = configured();
        to.setTo(text);
        EXPECT_EQ(to.send().kind, StatusKind::HeaderInjection) << text.toStdString();
        CdoMessage from = configured();
        from.setFrom(text);
        EXPECT_EQ(from.send().kind, StatusKind::HeaderInjection) << text.toStdString();
    }
    CdoMessage subject = configured();
    subject.setSubject("Hi\r\nBcc: all@example.com");
    EXPECT_EQ(subject.send().kind, StatusKind::HeaderInjection);
}

TEST_F(CdoMessageTest, SenderAndRecipientsMustBeAddressesNamedInTheDescription)
{
    CdoMessage noAddress = configured();
    noAddress.setTo("Ann Smith");
    const Status status = noAddress.send();
    EXPECT_EQ(status.kind, StatusKind::Address);
    EXPECT_TRUE(status.description.startsWith("To: \"Ann Smith\""))
            << status.description.toStdString();

    CdoMessage twoSenders = configured();
    twoSenders.setFrom("a@example.com, b@example.com");
    EXPECT_EQ(twoSenders.send().kind, StatusKind::Address);
}

TEST_F(CdoMessageTest, AttachmentIsCheckedWhenAdded)
{
    QTemporaryDir dir;
    CdoMessage message = configured();
    EXPECT_EQ(message.addAttachment(dir.filePath("none.pdf"), {}, {}).kind, StatusKind::Attachment);
    EXPECT_EQ(message.addAttachment(dir.path(), {}, {}).kind, StatusKind::Attachment);
}

TEST(LocalFileSystem, OnlyExistingRegularFilesAndThePathExactlyAsGiven)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("scan.pdf");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    LocalFileSystem fs;
    EXPECT_TRUE(fs.fileExists(path).value);
    EXPECT_FALSE(fs.fileExists(" " + path).value);
    EXPECT_FALSE(fs.fileExists(path + " ").value);
    EXPECT_FALSE(fs.fileExists(dir.path()).value);
    EXPECT_FALSE(fs.fileExists(QString()).value);
    // A name that really starts with a space is found as such.
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir.path()));
    QFile spaced(" lead.pdf");
    ASSERT_TRUE(spaced.open(QIODevice::WriteOnly));
    spaced.close();
    EXPECT_TRUE(fs.fileExists(" lead.pdf").value);
    EXPECT_FALSE(fs.fileExists("lead.pdf").value);
    QDir::setCurrent(previous);
}

TEST(SmtpDialogue, FollowsCapabilitiesRepliesAndRecipientsButNotCredentials)
{
    detail::SmtpDialogue d;
    d.replyReceived("220 mx ESMTP\r\n");
    EXPECT_TRUE(d.greeted());
    d.commandSent("EHLO client\r\n");
    d.replyReceived("250-mx\r\n250-SIZE 1000\r\n250-STARTTLS\r\n250 AUTH PLAIN LOGIN\r\n");
    EXPECT_EQ(d.sizeLimit(), 1000);
    EXPECT_TRUE(d.offersStartTls());
    EXPECT_EQ(d.authMechanisms(), QStringList({"PLAIN", "LOGIN"}));

    d.commandSent("AUTH LOGIN\r\n");
    d.replyReceived("334 VXNlcm5hbWU6\r\n");
    d.commandSent("YW5u\r\n");
    d.commandSent("RCPT secret\r\n"); // still inside AUTH: not a command
    EXPECT_EQ(d.lastCommand(), "AUTH");
    d.replyReceived("235 2.7.0 ok\r\n");
    EXPECT_TRUE(d.authenticated());

    d.commandSent("RCPT TO:<bad@example.org>\r\n");
    d.replyReceived("550 5.1.1 unknown\r\n");
    d.commandSent("QUIT\r\n");
    d.replyReceived("221 bye\r\n");
    EXPECT_EQ(d.lastRecipient(), "bad@example.org");
    EXPECT_EQ(d.lastReplyCode(), 550);
    EXPECT_EQ(d.lastReplyTo(), "RCPT");
    EXPECT_EQ(d.lastReply(), "550 5.1.1 unknown");

    // A second EHLO (after STARTTLS) replaces what the first one offered.
    d.commandSent("EHLO client\r\n");
    d.replyReceived("250 mx\r\n");
    EXPECT_FALSE(d.offersAuth());
    EXPECT_FALSE(d.offersStartTls());
}

// The reply ends up in a box: a server's long or endless reply must not.
TEST(SmtpDialogue, KeepsAReplyShortWhateverTheServerSends)
{
    detail::SmtpDialogue d;
    d.commandSent("MAIL FROM:<a@example.org>\r\n");
    QByteArray reply = "451-4.3.0 " + QByteArray(100000, 'x') + "\r\n";
    for (int i = 0; i < 1000; ++i)
        reply += "451-4.3.0 more\r\n";
    d.replyReceived(reply + "451 4.3.0 end\r\n");
    EXPECT_EQ(d.lastReplyCode(), 451);
    EXPECT_TRUE(d.lastReply().startsWith("451 4.3.0 xxx")) << d.lastReply().left(20).toStdString();
    EXPECT_TRUE(d.lastReply().endsWith("more ...")) << d.lastReply().right(20).toStdString();
    EXPECT_LT(d.lastReply().size(), 2000);
}

TEST(Redaction, RemovesThePasswordAndItsBase64)
{
    const QByteArray plain = QByteArray("\0ann\0hunter22", 13).toBase64();
    Status status = Status::failure(StatusKind::AuthRejected, 535,
                                    "535 bad hunter22 aHVudGVyMjI= aHVudGVyMjI "
                                            + QString::fromLatin1(plain));
    redact(status, "hunter22");
    redactEncoded(status, QByteArray("\0ann\0hunter22", 13));
    EXPECT_EQ(status.description, "535 bad **** **** **** ****");
}

} // namespace
