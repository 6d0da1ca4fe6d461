// The Send button against a real aiosmtpd on 127.0.0.1 (and, where aiosmtpd cannot play the
// part, a scripted server of our own).
#include "MailIntegrationFixture.h"
#include "mail/CdoFields.h"
#include "mail/CdoMessage.h"
#include "support/Loopback.h"

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QRandomGenerator>

using namespace orvane;
using form::Control;
using form::StatusKind;
using test::SmtpTestServer;

namespace {

QByteArray randomBytes(qint64 size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator random(7);
    random.fillRange(reinterpret_cast<quint32 *>(bytes.data()), size / 4);
    return bytes;
}

using SmtpIntegrationTest = test::MailIntegrationFixture;

TEST_F(SmtpIntegrationTest, PlainSendArrivesWithHeadersAndBodyIntact)
{
    SmtpTestServer server;
    startServer(server, {});
    fillForm(server.port());
    form.preset(Control::txtTo, " ann@example.org; \"Doe, John\" <john@example.org> ");
    form.preset(Control::txtBody, "Line 1\n.dot line\r\n..two dots\rLast");
    click();
    expectSent();

    const QList<QJsonObject> messages = server.messages();
    ASSERT_EQ(messages.size(), 1);
    const QJsonObject &m = messages.front();
    EXPECT_EQ(m["mail_from"].toString(), "scanner@example.com");
    EXPECT_EQ(m["rcpt_tos"].toArray(), QJsonArray({"ann@example.org", "john@example.org"}));
    EXPECT_EQ(m["subject"].toString(), "Scan");
    EXPECT_EQ(m["to"].toString(), "ann@example.org, \"Doe, John\" <john@example.org>");
    const QString body = m["body"].toString().replace("\r\n", "\n");
    EXPECT_EQ(body, "Line 1\n.dot line\n..two dots\nLast\n\n");
    for (const char *header : {"Date", "Message-ID", "MIME-Version", "From", "To", "Subject"})
        EXPECT_TRUE(m["header_names"].toArray().contains(header)) << header;
    EXPECT_TRUE(m["defects"].toArray().isEmpty());
}

TEST_F(SmtpIntegrationTest, StartTlsWithLogin)
{
    SmtpTestServer server;
    startServer(server, {.mode = "starttls", .auth = "ann:" + password, .requireAuth = true});
    fillForm(server.port());
    tickLogin(" ann ", password);
    form.presetValue(Control::chkSSL, form::Ticked);
    click();
    expectSent();
    ASSERT_EQ(server.messages().size(), 1);
    EXPECT_EQ(server.messages().front()["auth_user"].toString(), "ann");
}

TEST_F(SmtpIntegrationTest, ImplicitTlsOnAPortMappedLike465)
{
    SmtpTestServer server;
    startServer(server, {.mode = "implicit", .auth = "ann:" + password, .requireAuth = true});
    fillForm(server.port());
    tickLogin("ann", password);
    form.presetValue(Control::chkSSL, form::Ticked);
    mail::TransportOptions implicit = options();
    const int port = server.port();
    implicit.tlsStart = [port](int p) {
        return p == port ? mail::TlsStart::Implicit : mail::TlsStart::StartTls;
    };
    click(implicit);
    expectSent();
    ASSERT_EQ(server.messages().size(), 1);
    EXPECT_EQ(server.messages().front()["auth_user"].toString(), "ann");
}

TEST_F(SmtpIntegrationTest, ImplicitTlsAgainstAPlainServerFailsWithAHint)
{
    SmtpTestServer server;
    startServer(server, {});
    fillForm(server.port());
    form.presetValue(Control::chkSSL, form::Ticked);
    mail::TransportOptions implicit = options();
    implicit.tlsStart = [](int) { return mail::TlsStart::Implicit; };
    click(implicit);
    expectOneFailure(StatusKind::Tls, {"secure connection", "STARTTLS port"});
    EXPECT_TRUE(server.messages().isEmpty());
}

TEST_F(SmtpIntegrationTest, WrongPasswordIsRefusedWithTheServersWords)
{
    SmtpTestServer server;
    startServer(server, {.mode = "starttls", .auth = "ann:right-one", .requireAuth = true});
    fillForm(server.port());
    tickLogin("ann", password);
    form.presetValue(Control::chkSSL, form::Ticked);
    click();
    expectOneFailure(StatusKind::AuthRejected, {"535", "user name and password"});
    EXPECT_TRUE(server.messages().isEmpty());
}

TEST_F(SmtpIntegrationTest, SslTickedButServerOffersNoStartTls)
{
    SmtpTestServer server;
    startServer(server, {});
    fillForm(server.port());
    tickLogin("ann", password);
    form.presetValue(Control::chkSSL, form::Ticked);
    click();
    expectOneFailure(StatusKind::StartTlsUnavailable, {"STARTTLS", "127.0.0.1"});
    EXPECT_TRUE(server.messages().isEmpty());
}

TEST_F(SmtpIntegrationTest, CertificateFromAnUntrustedAuthorityIsRefused)
{
    SmtpTestServer server;
    startServer(server, {.mode = "starttls"});
    fillForm(server.port());
    form.presetValue(Control::chkSSL, form::Ticked);
    mail::TransportOptions otherTrust = options();
    otherTrust.caFile = certificates().otherCaFile();
    click(otherTrust);
    expectOneFailure(StatusKind::Certificate, {"certificate", "could not be verified"});
    EXPECT_TRUE(server.messages().isEmpty());
}

TEST_F(SmtpIntegrationTest, RefusedConnectionNamesHostAndPort)
{
    const int closed = test::freePort();
    fillForm(closed);
    click();
    expectOneFailure(StatusKind::Connect, {QStringLiteral("127.0.0.1 port %1").arg(closed)});
}

TEST_F(SmtpIntegrationTest, SilentServerTimesOutWithinTheStallTime)
{
    test::SilentListener silent;
    ASSERT_NE(silent.port(), 0);
    fillForm(silent.port());
    mail::TransportOptions quick = options();
    quick.stallTimeout = std::chrono::seconds(1);
    QElapsedTimer timer;
    timer.start();
    click(quick);
    EXPECT_LT(timer.elapsed(), 8000);
    expectOneFailure(StatusKind::Timeout, {"stopped answering", "1 second"});
}

TEST_F(SmtpIntegrationTest, RefusedRecipientFailsTheWholeSendBeforeData)
{
    SmtpTestServer server;
    startServer(server, {.refuse = {"nobody@example.org"}});
    fillForm(server.port());
    form.preset(Control::txtTo, "ann@example.org, nobody@example.org, bob@example.org");
    click();
    expectOneFailure(StatusKind::RecipientRefused, {"nobody@example.org", "550"});
    EXPECT_TRUE(server.messages().isEmpty());
}

TEST_F(SmtpIntegrationTest, LoginRequiredAndStartTlsRequiredSayWhatToTick)
{
    SmtpTestServer loginServer;
    startServer(loginServer, {.auth = "ann:x", .requireAuth = true});
    fillForm(loginServer.port());
    click();
    expectOneFailure(StatusKind::AuthRequired, {"530", "Tick SMTP Authentication"});

    SmtpTestServer tlsServer;
    startServer(tlsServer, {.mode = "starttls"});
    form.boxes.clear();
    fillForm(tlsServer.port());
    click();
    expectOneFailure(StatusKind::AuthRequired, {"530", "Tick SSL"});
}

TEST_F(SmtpIntegrationTest, TenMegabyteAttachmentArrivesByteIdentical)
{
    SmtpTestServer server;
    startServer(server, {});
    const QByteArray content = randomBytes(qint64(10) * 1024 * 1024);
    const QString path = createFile("large scan.pdf", content);
    fillForm(server.port());
    form.preset(Control::txtAttachment, path);
    click();
    expectSent();
    ASSERT_EQ(server.messages().size(), 1);
    const QJsonArray parts = server.messages().front()["attachments"].toArray();
    ASSERT_EQ(parts.size(), 1);
    const QJsonObject part = parts.first().toObject();
    EXPECT_EQ(part["filename"].toString(), "large scan.pdf");
    EXPECT_EQ(part["size"].toInt(), content.size());
    EXPECT_EQ(part["sha256"].toString(),
              QCryptographicHash::hash(content, QCryptographicHash::Sha256).toHex());
}

TEST_F(SmtpIntegrationTest, OversizedMessageIsRefusedUpFrontNamingTheLimit)
{
    SmtpTestServer server;
    startServer(server, {.sizeLimit = 4000});
    fillForm(server.port());
    form.preset(Control::txtAttachment, createFile("big.bin", randomBytes(20000)));
    click();
    expectOneFailure(StatusKind::SizeRefused, {"552", "4000"});
}

TEST_F(SmtpIntegrationTest, NonAsciiSubjectNamesAndFileNameDecodeCorrectly)
{
    SmtpTestServer server;
    startServer(server, {});
    const QString subject = QStringLiteral("Grüße – Rechnung № 5 😀 ") + QString(80, u'é');
    const QString fileName = QStringLiteral("Übersicht März 日本語 ") + QString(60, u'ß') + ".pdf";
    fillForm(server.port());
    form.preset(Control::txtTo, QStringLiteral("Jürgen Groß <j@example.de>"));
    form.preset(Control::txtSubject, subject);
    form.preset(Control::txtBody, QStringLiteral("Schöne Grüße\n"));
    form.preset(Control::txtAttachment, createFile(fileName, "%PDF-1.4\n"));
    click();
    expectSent();
    ASSERT_EQ(server.messages().size(), 1);
    const QJsonObject m = server.messages().front();
    EXPECT_EQ(m["subject"].toString(), subject);
    EXPECT_EQ(m["to"].toString(), QStringLiteral("Jürgen Groß <j@example.de>"));
    EXPECT_EQ(m["body"].toString().replace("\r\n", "\n"), QStringLiteral("Schöne Grüße\n\n\n"));
    const QJsonObject part = m["attachments"].toArray().first().toObject();
    EXPECT_EQ(part["filename"].toString(), fileName);
    EXPECT_EQ(part["content_type"].toString(), "application/pdf");
    EXPECT_TRUE(m["defects"].toArray().isEmpty());
}

TEST_F(SmtpIntegrationTest, MissingAttachmentShowsItsBoxAndTheMessageGoesWithoutIt)
{
    SmtpTestServer server;
    startServer(server, {});
    fillForm(server.port());
    form.preset(Control::txtAttachment, createFile("gone.pdf", "x") + ".missing");
    click();
    ASSERT_EQ(form.boxes.size(), 1u);
    EXPECT_EQ(form.boxes.front().text,
              "File Attachment can not be found! Message sent without attachment");
    EXPECT_TRUE(form.captionOf(Control::lblStatus).startsWith("Message Sent. "));
    ASSERT_EQ(server.messages().size(), 1);
    EXPECT_TRUE(server.messages().front()["attachments"].toArray().isEmpty());
}

// The hook a background sender will use: it sees the whole size and can stop the upload.
TEST_F(SmtpIntegrationTest, ProgressSeesTheWholeMessageAndCanStopIt)
{
    SmtpTestServer server;
    startServer(server, {});
    const QString path = createFile("progress.bin", randomBytes(qint64(3) * 1024 * 1024));
    auto message = [&] {
        auto m = std::make_unique<mail::CdoMessage>(options());
        namespace cdo = mail::cdo;
        m->configurationField(cdo::fullName(cdo::sendUsing)).value->setValue(std::int16_t(2));
        m->configurationField(cdo::fullName(cdo::smtpServer)).value->setValue(QString("127.0.0.1"));
        m->configurationField(cdo::fullName(cdo::smtpServerPort))
                .value->setValue(QString::number(server.port()));
        m->updateFields();
        m->setFrom("scanner@example.com");
        m->setTo("ann@example.org");
        m->setTextBody("x");
        EXPECT_TRUE(m->addAttachment(path, {}, {}).ok());
        return m;
    };

    qint64 lastSent = 0;
    qint64 total = 0;
    auto complete = message();
    complete->setProgress([&](qint64 sent, qint64 all) {
        lastSent = sent;
        total = all;
        return true;
    });
    ASSERT_TRUE(complete->send().ok());
    EXPECT_GT(total, 4 * 1024 * 1024);
    EXPECT_EQ(lastSent, total);

    auto stopped = message();
    stopped->setProgress([](qint64 sent, qint64) { return sent == 0; });
    EXPECT_EQ(stopped->send().kind, StatusKind::Aborted);
    EXPECT_EQ(server.messages().size(), 1);
}

// What aiosmtpd cannot do, played by the scripted server (more in SmtpFaultTest).
TEST_F(SmtpIntegrationTest, StartTlsAnswered454NeverLeadsToAPlainLogin)
{
    SmtpTestServer server;
    startScripted(server, "starttls-454");
    fillForm(server.port());
    tickLogin("ann", password);
    form.presetValue(Control::chkSSL, form::Ticked);
    click();
    expectOneFailure(StatusKind::StartTlsUnavailable, {"454"});
    for (const QString &line : server.scriptLog()) {
        EXPECT_FALSE(line.startsWith("AUTH", Qt::CaseInsensitive)) << line.toStdString();
        EXPECT_FALSE(line.startsWith("MAIL", Qt::CaseInsensitive)) << line.toStdString();
        EXPECT_FALSE(line.contains(password));
    }
}

TEST_F(SmtpIntegrationTest, LoginAskedButServerOffersNoneSendsNothing)
{
    SmtpTestServer server;
    startScripted(server, "no-auth");
    fillForm(server.port());
    tickLogin("ann", password);
    click();
    expectOneFailure(StatusKind::AuthUnavailable, {"offers no login"});
    for (const QString &line : server.scriptLog())
        EXPECT_FALSE(line.startsWith("MAIL", Qt::CaseInsensitive)) << line.toStdString();
}

} // namespace
