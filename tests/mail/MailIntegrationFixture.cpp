#include "MailIntegrationFixture.h"

#include "mail/SendAction.h"
#include "support/RequireServer.h"

namespace orvane::test {

using form::Control;

namespace {

// Passes every call to the real message and keeps what send() returned.
class CapturingMessage : public mail::Message
{
public:
    CapturingMessage(std::unique_ptr<mail::Message> real, form::Status &sent)
        : m_real(std::move(real))
        , m_sent(sent)
    {}
    form::Result<std::unique_ptr<mail::ConfigField>>
    configurationField(const QString &name) override
    {
        return m_real->configurationField(name);
    }
    form::Status updateFields() override { return m_real->updateFields(); }
    form::Status setTo(const QString &t) override { return m_real->setTo(t); }
    form::Status setFrom(const QString &t) override { return m_real->setFrom(t); }
    form::Status setSubject(const QString &t) override { return m_real->setSubject(t); }
    form::Status setTextBody(const QString &t) override { return m_real->setTextBody(t); }
    form::Status addAttachment(const QString &p, const QString &u, const QString &w) override
    {
        return m_real->addAttachment(p, u, w);
    }
    form::Status send() override { return m_sent = m_real->send(); }
    void setProgress(Progress progress) override { m_real->setProgress(std::move(progress)); }

private:
    std::unique_ptr<mail::Message> m_real;
    form::Status &m_sent;
};

class CapturingComponents : public mail::CurlComponents
{
public:
    CapturingComponents(mail::TransportOptions options, form::Status &sent)
        : CurlComponents(std::move(options))
        , m_sent(sent)
    {}
    form::Result<std::unique_ptr<mail::Message>> createMessage() override
    {
        auto real = CurlComponents::createMessage();
        return {real.status, std::make_unique<CapturingMessage>(std::move(real.value), m_sent)};
    }

private:
    form::Status &m_sent;
};

} // namespace

void MailIntegrationFixture::SetUpTestSuite()
{
    s_missing = SmtpTestServer::missingPrerequisite();
    s_certificates = std::make_unique<TestCertificates>();
    s_files = std::make_unique<QTemporaryDir>();
    if (s_missing.isEmpty())
        s_missing = s_certificates->create();
}

void MailIntegrationFixture::TearDownTestSuite()
{
    s_certificates.reset();
    s_files.reset();
}

void MailIntegrationFixture::SetUp()
{
    ORVANE_REQUIRE_SERVER(s_missing.isEmpty(), s_missing);
}

void MailIntegrationFixture::startServer(SmtpTestServer &server,
                                         const SmtpTestServer::Options &options)
{
    SmtpTestServer::Options withCert = options;
    if (withCert.mode != "plain") {
        withCert.cert = certificates().serverCert();
        withCert.key = certificates().serverKey();
    }
    const QString error = server.start(withCert);
    ASSERT_TRUE(error.isEmpty()) << error.toStdString();
}

void MailIntegrationFixture::startScripted(SmtpTestServer &server, const QString &scenario,
                                           const QString &file)
{
    const QString error = server.startScripted(scenario, file);
    ASSERT_TRUE(error.isEmpty()) << error.toStdString();
}

void MailIntegrationFixture::fillForm(int port)
{
    form.preset(Control::txtSMTP, QStringLiteral("127.0.0.1"));
    form.preset(Control::txtPort, QString::number(port));
    form.preset(Control::txtFrom, QStringLiteral("Scanner <scanner@example.com>"));
    form.preset(Control::txtTo, QStringLiteral("ann@example.org"));
    form.preset(Control::txtSubject, QStringLiteral("Scan"));
    form.preset(Control::txtBody, QStringLiteral("Please find the scan."));
}

void MailIntegrationFixture::tickLogin(const QString &user, const QString &secret)
{
    form.presetValue(Control::chkSMTPAuth, form::Ticked);
    form.preset(Control::txtUsername, user);
    form.preset(Control::txtPassword, secret);
}

mail::TransportOptions MailIntegrationFixture::options() const
{
    mail::TransportOptions options;
    options.caFile = certificates().caFile();
    options.connectTimeout = std::chrono::seconds(5);
    options.stallTimeout = std::chrono::seconds(10);
    return options;
}

void MailIntegrationFixture::click(const mail::TransportOptions &options)
{
    CapturingComponents components(options, lastSend);
    mail::btnOrvane_Click(form, components);
}

void MailIntegrationFixture::expectSent()
{
    for (const RecordingForm::Box &box : form.boxes)
        ADD_FAILURE() << "box: " << box.text.toStdString();
    EXPECT_TRUE(form.captionOf(Control::lblStatus).startsWith("Message Sent. "));
}

void MailIntegrationFixture::expectOneFailure(form::StatusKind kind, const QStringList &mentions)
{
    ASSERT_EQ(form.boxes.size(), 1u);
    const QString text = form.boxes.front().text;
    EXPECT_TRUE(text.startsWith("orvane error ")) << text.toStdString();
    EXPECT_EQ(int(lastSend.kind), int(kind)) << text.toStdString();
    EXPECT_TRUE(form.captionOf(Control::lblStatus).isEmpty());
    EXPECT_FALSE(text.contains(password)) << text.toStdString();
    EXPECT_FALSE(text.contains(QString::fromLatin1(password.toUtf8().toBase64())));
    for (const QString &mention : mentions)
        EXPECT_TRUE(text.contains(mention, Qt::CaseInsensitive))
                << "missing \"" << mention.toStdString() << "\" in: " << text.toStdString();
}

QString MailIntegrationFixture::createFile(const QString &name, const QByteArray &content)
{
    QString path = s_files->filePath(name);
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(content);
    return path;
}

} // namespace orvane::test
