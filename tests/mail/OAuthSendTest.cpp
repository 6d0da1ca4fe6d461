// The Send button signing in with OAuth 2.0, end to end: the real Send action and components,
// oidc-provider as the authorization server, Dovecot checking the token by introspection and
// relaying to a sink. The user's part at the provider is played by the browser stand-in.
#include "mail/CurlComponents.h"
#include "mail/SendAction.h"
#include "mail/oauth/MemoryTokenStore.h"
#include "mail/oauth/OAuthSignIn.h"
#include "support/OAuthServers.h"
#include "support/RecordingForm.h"
#include "support/RequireServer.h"

#include <QProcess>

#include <gtest/gtest.h>
#include <iostream>
#include <memory>
#include <optional>
#include <thread>

using namespace orvane;
using form::Control;
using mail::oauth::MemoryTokenStore;
using mail::oauth::TokenStore;
using test::OAuthServers;

namespace {

const QString user = QStringLiteral("ann@example.org");

// What the user does when the sign-in asks: in the browser, or with the device's code.
struct UserPart
{
    bool decline = false;
    QString state;         // replaces the redirect's state when not null
    bool ignore = false;   // does nothing at all (lets the device code run out)
    int cancelAfterMs = 0; // presses Cancel this long after the prompt appears
};

// The window's wait as far as a sign-in sees it: the prompt's code goes to the browser
// stand-in, and Cancel is pressed when the user part says so.
class UserAtTheProvider : public form::NetworkWait
{
public:
    UserAtTheProvider(const OAuthServers &servers, UserPart part)
        : m_servers(servers)
        , m_part(std::move(part))
    {}

    void runPrompted(const form::WaitPrompt &prompt,
                     const std::function<void(const std::atomic<bool> &)> &work) override
    {
        prompts.append(prompt);
        if (!prompt.code.isEmpty() && !m_part.ignore)
            startDetached(m_servers.deviceCommand(prompt.code, user, m_part.decline));
        std::atomic<bool> cancelled{false};
        std::optional<std::thread> canceller;
        if (m_part.cancelAfterMs > 0)
            canceller.emplace([&cancelled, ms = m_part.cancelAfterMs] {
                std::this_thread::sleep_for(std::chrono::milliseconds(ms));
                cancelled.store(true);
            });
        work(cancelled);
        if (canceller)
            canceller->join();
    }

    bool openBrowser(const QString &address)
    {
        ++browserOpened;
        if (!m_part.ignore)
            startDetached(m_servers.browseCommand(address, user, m_part.decline, m_part.state));
        return true;
    }

    QList<form::WaitPrompt> prompts;
    int browserOpened = 0;

private:
    static void startDetached(const QStringList &command)
    {
        QProcess process;
        process.setProgram(command.first());
        process.setArguments(command.mid(1));
        process.setStandardOutputFile(QProcess::nullDevice());
        process.startDetached();
    }

    const OAuthServers &m_servers;
    UserPart m_part;
};

class OAuthSendTest : public ::testing::Test
{
public:
    static void SetUpTestSuite()
    {
        s_servers = std::make_unique<OAuthServers>();
        s_missing = s_servers->start();
    }
    static void TearDownTestSuite() { s_servers.reset(); }

protected:
    void SetUp() override
    {
        ORVANE_REQUIRE_SERVER(s_missing.isEmpty(), s_missing);
        delivered = s_servers->delivered().size();
    }

    // The configuration an administrator writes for the test provider, with `overrides`.
    QMap<QString, QString> configuration(const QMap<QString, QString> &overrides = {}) const
    {
        QMap<QString, QString> keys{{"Test/Issuer", s_servers->issuer()},
                                    {"Test/ClientId", s_servers->clientId()},
                                    {"Test/Scope", "smtp.send offline_access"},
                                    {"Test/Servers", "127.0.0.1"},
                                    {"Test/AuthorizationParameters", "prompt=consent"}};
        for (auto it = overrides.begin(); it != overrides.end(); ++it)
            keys[it.key()] = it.value();
        return keys;
    }

    // One click of Send to `port` as the user, with the password empty.
    void click(int port, UserAtTheProvider &userPart, const QMap<QString, QString> &keys)
    {
        form = {};
        form.preset(Control::txtSMTP, "127.0.0.1");
        form.preset(Control::txtPort, QString::number(port));
        form.preset(Control::txtFrom, user);
        form.preset(Control::txtTo, "bob@example.org");
        form.preset(Control::txtSubject, "Scan " + QString::number(++s_sends));
        form.presetValue(Control::chkSMTPAuth, form::Ticked);
        form.preset(Control::txtUsername, user);

        auto wait = std::shared_ptr<form::NetworkWait>(&userPart, [](form::NetworkWait *) {});
        mail::oauth::SignInOptions signIn;
        signIn.wait = wait;
        signIn.store = store;
        signIn.signInLimit = std::chrono::seconds(20);
        signIn.openBrowser
                = [&userPart](const QString &address) { return userPart.openBrowser(address); };
        // A sign-in of its own for each click, as after a restart: what it knows comes from the
        // store.
        mail::TransportOptions options;
        options.connectTimeout = std::chrono::seconds(5);
        options.stallTimeout = std::chrono::seconds(15);
        options.oauthProviders = [keys] { return mail::oauth::ProviderTable::fromKeys(keys); };
        options.signIn = std::make_shared<mail::oauth::OAuthSignIn>(signIn);
        mail::CurlComponents components(options);
        mail::btnOrvane_Click(form, components);
    }

    void expectDelivered(int count)
    {
        for (const test::RecordingForm::Box &box : form.boxes)
            ADD_FAILURE() << "box: " << box.text.toStdString();
        EXPECT_TRUE(form.captionOf(Control::lblStatus).startsWith("Message Sent. "));
        EXPECT_EQ(s_servers->delivered().size(), delivered + count);
    }

    // Logins Dovecot took with the SASL mechanism so far.
    static qsizetype logins(const char *mechanism)
    {
        return s_servers->dovecotLog().count(QStringLiteral("method=") + mechanism);
    }

    QByteArray storedRefreshToken() const
    {
        const auto value
                = store->read(TokenStore::keyFor(s_servers->issuer(), s_servers->clientId(), user));
        return value.ok() && value.value ? *value.value : QByteArray();
    }

    static inline std::unique_ptr<OAuthServers> s_servers;
    static inline QString s_missing;
    static inline int s_sends = 0;

    test::RecordingForm form;
    std::shared_ptr<MemoryTokenStore> store = std::make_shared<MemoryTokenStore>();
    qsizetype delivered = 0;
};

TEST_F(OAuthSendTest, BrowserFlowSendsWithOAuthBearerAndTheNextSendSignsInSilently)
{
    const qsizetype bearerLogins = logins("OAUTHBEARER");
    UserAtTheProvider userPart(*s_servers, {});
    click(s_servers->submissionPort(), userPart, configuration());
    expectDelivered(1);
    EXPECT_EQ(userPart.browserOpened, 1);
    ASSERT_EQ(userPart.prompts.size(), 1);
    EXPECT_TRUE(userPart.prompts.front().code.isEmpty());
    EXPECT_FALSE(storedRefreshToken().isEmpty());
    EXPECT_EQ(logins("OAUTHBEARER"), bearerLogins + 1);

    click(s_servers->submissionPort(), userPart, configuration());
    expectDelivered(2);
    EXPECT_EQ(userPart.browserOpened, 1);
    EXPECT_EQ(userPart.prompts.size(), 1);
}

TEST_F(OAuthSendTest, DeviceFlowSendsWithXOAuth2)
{
    const qsizetype xoauth2Logins = logins("XOAUTH2");
    UserAtTheProvider userPart(*s_servers, {});
    click(s_servers->xoauth2OnlyPort(), userPart, configuration({{"Test/Flow", "device"}}));
    expectDelivered(1);
    EXPECT_EQ(userPart.browserOpened, 0);
    ASSERT_EQ(userPart.prompts.size(), 1);
    EXPECT_FALSE(userPart.prompts.front().code.isEmpty());
    EXPECT_TRUE(userPart.prompts.front().address.startsWith(s_servers->issuer()));
    EXPECT_EQ(logins("XOAUTH2"), xoauth2Logins + 1);
}

TEST_F(OAuthSendTest, RevokedRefreshTokenSignsInAgainOnceByItself)
{
    UserAtTheProvider first(*s_servers, {});
    click(s_servers->submissionPort(), first, configuration());
    expectDelivered(1);
    ASSERT_EQ(s_servers->revoke(storedRefreshToken()), QString());

    UserAtTheProvider again(*s_servers, {});
    click(s_servers->submissionPort(), again, configuration());
    expectDelivered(2);
    EXPECT_EQ(again.browserOpened, 1);
}

// The user pressing Cancel: no box, the status line says so, nothing sent.
TEST_F(OAuthSendTest, CancelledSignInSendsNothingAndShowsNoBox)
{
    UserAtTheProvider userPart(*s_servers, {.ignore = true, .cancelAfterMs = 300});
    click(s_servers->submissionPort(), userPart, configuration({{"Test/Flow", "device"}}));
    EXPECT_TRUE(form.boxes.empty());
    EXPECT_EQ(form.captionOf(Control::lblStatus), mail::cancelledStatus);
    EXPECT_EQ(s_servers->delivered().size(), delivered);
}

// Every way a sign-in or the server can refuse ends in one box of its own, the provider's or
// server's words first; nothing is delivered and no token shows.
struct Fault
{
    const char *name;
    QMap<QString, QString> overrides;
    UserPart userPart;
    QStringList says;
    bool shortDeviceCode = false; // against a provider whose device codes last 2 seconds
};

void PrintTo(const Fault &row, std::ostream *out)
{
    *out << row.name;
}

// clang-format off
const Fault faults[] = {
    {"TokenWithoutTheMailScope", {{"Test/Scope", "openid offline_access"}}, {},
     {"refused the OAuth sign-in", "535", "status"}},
    {"WrongClientId", {{"Test/ClientId", "no-such-client"}, {"Test/Flow", "device"}}, {},
     {"invalid_client", "client ID"}},
    {"ConsentDeclinedInTheBrowser", {}, {.decline = true},
     {"access_denied"}},
    {"DeviceCodeDeclined", {{"Test/Flow", "device"}}, {.decline = true},
     {"access_denied"}},
    {"DeviceCodeRanOut", {{"Test/Flow", "device"}}, {.ignore = true},
     {"ran out"}, true},
    {"RedirectWithAnotherState", {}, {.state = "forged-state"},
     {"state"}},
};
// clang-format on

class OAuthFaultTest : public OAuthSendTest, public ::testing::WithParamInterface<Fault>
{};

TEST_P(OAuthFaultTest, EndsInItsOwnBoxWithNothingDelivered)
{
    const Fault &row = GetParam();
    std::unique_ptr<OAuthServers> shortLived;
    OAuthServers *servers = s_servers.get();
    if (row.shortDeviceCode) {
        shortLived = std::make_unique<OAuthServers>();
        const QString why = shortLived->start({.deviceCodeSeconds = 2});
        ASSERT_TRUE(why.isEmpty()) << why.toStdString();
        servers = shortLived.get();
    }
    QMap<QString, QString> keys = configuration(row.overrides);
    keys["Test/Issuer"] = servers->issuer();
    if (!row.overrides.contains("Test/ClientId"))
        keys["Test/ClientId"] = servers->clientId();
    const qsizetype before = servers->delivered().size();

    UserAtTheProvider userPart(*servers, row.userPart);
    click(servers->submissionPort(), userPart, keys);
    ASSERT_EQ(form.boxes.size(), 1u) << form.captionOf(Control::lblStatus).toStdString();
    const QString text = form.boxes.front().text;
    if (qEnvironmentVariableIsSet("ORVANE_SHOW_BOXES"))
        std::cout << row.name << ": " << text.toStdString() << std::endl;
    EXPECT_TRUE(text.startsWith("orvane error ")) << text.toStdString();
    for (const QString &part : row.says)
        EXPECT_TRUE(text.contains(part, Qt::CaseInsensitive))
                << "missing \"" << part.toStdString() << "\" in: " << text.toStdString();
    EXPECT_TRUE(form.captionOf(Control::lblStatus).isEmpty());
    EXPECT_EQ(servers->delivered().size(), before);
    if (const QByteArray token = storedRefreshToken(); !token.isEmpty()) {
        EXPECT_FALSE(text.contains(QString::fromLatin1(token)));
    }
}

INSTANTIATE_TEST_SUITE_P(Faults, OAuthFaultTest, ::testing::ValuesIn(faults),
                         [](const auto &info) { return std::string(info.param.name); });

} // namespace
