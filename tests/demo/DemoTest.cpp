// The servers scripts/demo starts, started the same way, answering the real handlers over the
// real libcurl and libldap components.
#include "directory/LdapDirectoryComponents.h"
#include "directory/SearchAction.h"
#include "mail/CurlComponents.h"
#include "mail/SendAction.h"
#include "support/RecordingForm.h"
#include "support/RequireServer.h"
#include "support/ScriptServer.h"

#include <QFile>

#include <gtest/gtest.h>

using namespace orvane;
using form::Control;

namespace {

// scripts/demo-servers in a temporary folder: the mail catcher compares attachments with the
// files there, and the values to type are in its servers.env.
class DemoServers : public test::ScriptServer
{
public:
    QString start()
    {
        return launch(QStringLiteral(ORVANE_DEMO_SERVERS),
                      {path(), QStringLiteral("300"), QStringLiteral("--port-file"), portFile()},
                      Ready::PortWritten, QStringLiteral("/bin/bash"));
    }

    QString value(const QString &name) const
    {
        QFile file(filePath(QStringLiteral("servers.env")));
        file.open(QIODevice::ReadOnly);
        for (const QByteArray &line : file.readAll().split('\n')) {
            if (line.startsWith(name.toUtf8() + '='))
                return QString::fromUtf8(line.mid(name.size() + 1));
        }
        return {};
    }

    QString writeFile(const QString &name, const QByteArray &content) const
    {
        QFile file(filePath(name));
        file.open(QIODevice::WriteOnly);
        file.write(content);
        return file.fileName();
    }

    // The lines the catcher has printed.
    QStringList printed() const
    {
        QFile file(filePath(QStringLiteral("server.out")));
        file.open(QIODevice::ReadOnly);
        return QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
    }
};

class DemoTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const QString error = servers.start();
        ORVANE_REQUIRE_SERVER(error.isEmpty(), "the demo servers: " + error);
    }

    DemoServers servers;
    test::RecordingForm form;
};

TEST_F(DemoTest, SendWithTheDemoLoginReachesTheCatcherByteIdentical)
{
    QByteArray scan;
    for (int i = 0; i < 70000; ++i)
        scan += char(i * 7 % 256);
    const QString attachment = servers.writeFile(QStringLiteral("Grüße scan.pdf"), scan);
    form.preset(Control::txtSMTP, servers.value("SMTP_SERVER"));
    form.preset(Control::txtPort, servers.value("SMTP_PORT"));
    form.preset(Control::txtFrom, QStringLiteral("Demo Scanner <scanner@demo.test>"));
    form.preset(Control::txtTo, QStringLiteral("anna.muller@demo.test"));
    form.preset(Control::txtSubject, QStringLiteral("Scan für Anna"));
    form.preset(Control::txtAttachment, attachment);
    form.presetValue(Control::chkSMTPAuth, form::Ticked);
    form.preset(Control::txtUsername, servers.value("SMTP_USER"));
    form.preset(Control::txtPassword, servers.value("SMTP_PASSWORD"));

    mail::CurlComponents components{mail::TransportOptions{}};
    mail::btnOrvane_Click(form, components);

    for (const test::RecordingForm::Box &box : form.boxes)
        ADD_FAILURE() << "box: " << box.text.toStdString();
    EXPECT_TRUE(form.captionOf(Control::lblStatus).startsWith("Message Sent. "));
    const QStringList lines = servers.printed();
    ASSERT_EQ(lines.size(), 1) << lines.join(u'\n').toStdString();
    EXPECT_EQ(lines[0],
              QStringLiteral("message-1.eml: from scanner@demo.test to anna.muller@demo.test "
                             "(logged in as demo) | subject \"Scan für Anna\" | attachment "
                             "\"Grüße scan.pdf\", 70000 bytes, byte-identical to %1")
                      .arg(attachment));
}

TEST_F(DemoTest, DirectoryListsTheAddressesForANamePrefix)
{
    const std::pair<QString, int> expected[]
            = {{QStringLiteral("Mü"), 21}, {QStringLiteral("ż"), 13}};
    for (const auto &[prefix, count] : expected) {
        form.preset(Control::txtLdapCon, servers.value("LDAP_PATH"));
        form.preset(Control::txtLdapUser, servers.value("LDAP_USER"));
        form.preset(Control::txtLdapPassword, servers.value("LDAP_PASSWORD"));
        form.preset(Control::txtLdap, prefix);
        directory::LdapDirectoryComponents components{directory::LdapProviderOptions{}};
        directory::cmdLdapSearch_Click(form, components);
        EXPECT_TRUE(form.boxes.empty()) << form.boxes.front().text.toStdString();
        EXPECT_EQ(form.listOf(Control::lstEmail).size(), count) << prefix.toStdString();
    }
}

} // namespace
