// The directory search against a private Samba Active Directory domain controller with its
// default hardening (no simple bind on a plain connection). The tests' CA is trusted only the
// way a user's machine trusts it: through libldap's own configuration (LDAPCONF), never
// through the provider's options.
#include "directory/LdapDirectoryComponents.h"
#include "directory/LdapRecordset.h"
#include "directory/SearchAction.h"
#include "support/QtPrinters.h"
#include "support/RecordingForm.h"
#include "support/RequireServer.h"
#include "support/SambaDomain.h"

#include <QFile>
#include <QThread>

#include <csignal>
#include <gtest/gtest.h>

using namespace orvane;
using namespace orvane::directory;
using form::Control;
using orvane::form::Result;
using test::RecordingForm;
using test::SambaDomain;

namespace {

class DomainController : public ::testing::Environment
{
public:
    void SetUp() override
    {
        if (!SambaDomain::available(&unavailable))
            return;
        if (!start()) {
            unavailable = dc.error();
            return;
        }
        started = true;
    }
    void TearDown() override { dc.stop(); }

    // Starts the shared DC, and points the libraries at its run folder. The ports are fixed:
    // a row that wants the DC another way starts it again that way, and as before after it.
    static bool start(SambaDomain::Tls tls = SambaDomain::Tls::On)
    {
        if (!dc.start(tls))
            return false;
        tlsOff = tls == SambaDomain::Tls::Off;
        // Read by libldap, MIT Kerberos and Cyrus SASL when first used, so before any search.
        ticketCache = dc.runDir() + QStringLiteral("/krb5cc");
        qputenv("LDAPCONF", QFile::encodeName(dc.ldapConf()));
        qputenv("KRB5_CONFIG", QFile::encodeName(dc.krb5Config()));
        qputenv("KRB5CCNAME", QFile::encodeName(QStringLiteral("FILE:") + ticketCache));
        return true;
    }

    static inline SambaDomain dc;
    static inline QString ticketCache;
    static inline QString unavailable;
    static inline bool started = false;
    static inline bool tlsOff = false;
};

const auto *const registered = ::testing::AddGlobalTestEnvironment(new DomainController);

SambaDomain &dc()
{
    return DomainController::dc;
}

// How the search signs in.
enum class SignIn { Password, WrongPassword, Ticket, ExpiredTicket, Nothing };

// One search through the button: what is typed, and what must come of it.
struct AdCase
{
    const char *name;
    const char *path; // %1 is the people's DN
    SignIn signIn = SignIn::Password;
    const SambaDomain::Account *account = &SambaDomain::reader;
    const char *prefix = "Smi";
    bool trustOtherCa = false; // hand the provider a CA that signed nothing
    // Off: a DC whose administrator switched TLS off (as one without a certificate is), which
    // takes StartTLS and then hangs up.
    SambaDomain::Tls dcTls = SambaDomain::Tls::On;
    // An empty box means the search lists every address the prefix matches, in the server's
    // order; otherwise the "LDAP error" box holds these words.
    QStringList boxWords = {};
    // What the DC's log must show of the sign-in; empty: no authentication by the account.
    const char *logged = "";
};

void PrintTo(const AdCase &row, std::ostream *out)
{
    *out << row.name;
}

class AdDirectoryTest : public ::testing::TestWithParam<AdCase>
{
protected:
    void SetUp() override
    {
        ORVANE_REQUIRE_SERVER(DomainController::started,
                              "Samba DC: " + DomainController::unavailable);
        QFile::remove(DomainController::ticketCache);
    }
    void TearDown() override
    {
        QFile::remove(DomainController::ticketCache);
        if (DomainController::tlsOff) {
            ASSERT_TRUE(DomainController::start()) << dc().error().toStdString();
        }
    }

    // What the DC logged while the search ran.
    static QString logDuring(const std::function<void()> &work)
    {
        const qsizetype before = dc().logText().size();
        work();
        return dc().logText().mid(before);
    }
};

// clang-format off
const AdCase cases[] = {
    {.name = "StartTlsOnThePortOfAPathWithoutOne", .path = "127.0.0.1/%1", .logged = "simple bind/TLS"},
    {.name = "LdapOverTls", .path = "127.0.0.1:636/%1", .logged = "simple bind/TLS"},
    {.name = "GlobalCatalogWithStartTls", .path = "127.0.0.1:3268/%1", .logged = "simple bind/TLS"},
    {.name = "GlobalCatalogOverTls", .path = "127.0.0.1:3269/%1", .logged = "simple bind/TLS"},
    {.name = "NonAsciiName", .path = "127.0.0.1/%1", .prefix = "Émile", .logged = "simple bind/TLS"},
    {.name = "CommaInAName", .path = "127.0.0.1/%1", .prefix = "Smith, J", .logged = "simple bind/TLS"},
    {.name = "KerberosTicketWithoutUserName", .path = "127.0.0.1/%1", .signIn = SignIn::Ticket, .logged = "[LDAP,krb5]"},
    {.name = "KerberosOverTlsAsksForThePlainPort", .path = "127.0.0.1:636/%1", .signIn = SignIn::Ticket, .boxWords = {"Sign or Seal are required", "only on a plain port"}},
    {.name = "NoTicketBindsAnonymously", .path = "127.0.0.1/%1", .signIn = SignIn::Nothing, .boxWords = {"unavailable without authentication", "enter a user name and password"}},
    {.name = "ExpiredTicket", .path = "127.0.0.1/%1", .signIn = SignIn::ExpiredTicket, .boxWords = {"ticket has expired"}},
    {.name = "WrongPassword", .path = "127.0.0.1/%1", .signIn = SignIn::WrongPassword, .boxWords = {"data 52e", "password is wrong"}},
    {.name = "AccountDisabled", .path = "127.0.0.1/%1", .account = &SambaDomain::disabled, .boxWords = {"data 533", "account is disabled"}},
    {.name = "AccountExpired", .path = "127.0.0.1/%1", .account = &SambaDomain::expired, .boxWords = {"data 701", "account has expired"}},
    {.name = "PasswordMustChange", .path = "127.0.0.1/%1", .account = &SambaDomain::mustChange, .boxWords = {"data 773", "must be changed"}},
    {.name = "AccountLockedOut", .path = "127.0.0.1/%1", .account = &SambaDomain::lockedOut, .boxWords = {"data 775", "locked out"}},
    {.name = "PasswordExpired", .path = "127.0.0.1/%1", .account = &SambaDomain::passwordExpired, .boxWords = {"data 532", "password has expired"}},
    {.name = "UntrustedIssuerSendsNoPassword", .path = "127.0.0.1/%1", .trustOtherCa = true, .boxWords = {"(StartTLS)", "issued by \"orvane test CA\"", "does not trust", "No password was sent."}},
    {.name = "UntrustedIssuerOverTlsSendsNoPassword", .path = "127.0.0.1:636/%1", .trustOtherCa = true, .boxWords = {"(TLS)", "does not trust"}},
    // A new plain connection binds as before StartTLS existed; the write into the closed
    // connection fails instead of ending the process (which ignores SIGPIPE, as the program does).
    {.name = "DcWithTlsSwitchedOffTakesAPlainBind", .path = "127.0.0.1/%1", .dcTls = SambaDomain::Tls::Off, .logged = "[LDAP,simple bind]"},
    {.name = "NameMismatchSendsNoPassword", .path = "localhost/%1", .boxWords = {"(StartTLS)", "is issued to", "\"dc1.example.test\"", "not to", "No password was sent."}},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Samba, AdDirectoryTest, ::testing::ValuesIn(cases),
                         [](const auto &info) { return std::string(info.param.name); });

TEST_P(AdDirectoryTest, Search)
{
    const AdCase &row = GetParam();
    if (row.dcTls == SambaDomain::Tls::Off) {
        std::signal(SIGPIPE, SIG_IGN);
        ASSERT_TRUE(DomainController::start(row.dcTls)) << dc().error().toStdString();
    }
    const SambaDomain::Account &account = *row.account;
    RecordingForm form;
    form.preset(Control::txtLdapCon, QString::fromUtf8(row.path).arg(SambaDomain::peopleDn));
    form.preset(Control::txtLdap, QString::fromUtf8(row.prefix));
    const bool password = row.signIn == SignIn::Password || row.signIn == SignIn::WrongPassword;
    form.preset(Control::txtLdapUser, password ? account.upn() : QString());
    form.preset(Control::txtLdapPassword, row.signIn == SignIn::Password ? account.password
                                          : row.signIn == SignIn::WrongPassword
                                                  ? QStringLiteral("Wr0ng-pass!")
                                                  : QString());
    if (row.signIn == SignIn::Ticket || row.signIn == SignIn::ExpiredTicket) {
        const QStringList lifetime
                = row.signIn == SignIn::ExpiredTicket ? QStringList{"-l", "1s"} : QStringList();
        ASSERT_TRUE(dc().kinit(account.principal(), account.password, DomainController::ticketCache,
                               lifetime))
                << dc().error().toStdString();
        if (row.signIn == SignIn::ExpiredTicket)
            QThread::sleep(2);
    }

    LdapProviderOptions options;
    options.connectTimeout = std::chrono::seconds(5);
    if (row.trustOtherCa)
        options.caFile = dc().otherCaFile();
    const QString log = logDuring([&] {
        LdapDirectoryComponents components(options);
        cmdLdapSearch_Click(form, components);
    });

    if (row.boxWords.isEmpty()) {
        EXPECT_TRUE(form.boxes.empty()) << form.boxes[0].text.toStdString();
        const QStringList expected = dc().expectedMails(QString::fromUtf8(row.prefix));
        EXPECT_FALSE(expected.isEmpty());
        EXPECT_EQ(form.listOf(Control::lstEmail), expected);
    } else {
        ASSERT_EQ(form.boxes.size(), 1u);
        const QString text = form.boxes[0].text;
        EXPECT_EQ(form.boxes[0].caption, "LDAP error");
        for (const QString &word : row.boxWords)
            EXPECT_TRUE(text.contains(word)) << text.toStdString();
        EXPECT_FALSE(text.contains(account.password));
        EXPECT_TRUE(form.listOf(Control::lstEmail).isEmpty());
    }
    if (*row.logged) {
        EXPECT_TRUE(log.contains(row.logged)) << log.toStdString();
    } else if (row.trustOtherCa || QByteArray(row.path).startsWith("localhost")) {
        // The connection failed verification before the bind: the DC saw no sign-in at all.
        EXPECT_FALSE(log.contains(account.name)) << log.toStdString();
    }
}

TEST_F(AdDirectoryTest, ServerSortsAndTheFirstPageIsThereBeforeTheNext)
{
    LdapDirectoryComponents components;
    auto createdConnection = components.createConnection();
    ASSERT_TRUE(createdConnection.ok());
    const std::unique_ptr<Connection> connection = std::move(createdConnection.value);
    ASSERT_TRUE(connection->setProvider("ADsDSOObject").ok());
    ASSERT_TRUE(connection->setProperty("User ID", Value::text(SambaDomain::reader.upn())).ok());
    ASSERT_TRUE(
            connection->setProperty("Password", Value::text(SambaDomain::reader.password)).ok());
    ASSERT_TRUE(connection->open("Active Directory Provider", "", "", -1).ok());
    auto createdCommand = components.createCommand();
    ASSERT_TRUE(createdCommand.ok());
    const std::unique_ptr<Command> command = std::move(createdCommand.value);
    ASSERT_TRUE(command->setActiveConnection(*connection).ok());
    ASSERT_TRUE(command->setCommandText("select name, mail from 'LDAP://127.0.0.1/"
                                        + SambaDomain::peopleDn
                                        + "' where name = 'Smi*' ORDER BY NAME DESC")
                        .ok());
    ASSERT_TRUE(command->setProperty("Page Size", Value::int16(500)).ok());
    auto executed = command->execute(-1);
    ASSERT_TRUE(executed.ok()) << executed.status.description.toStdString();
    const std::unique_ptr<Recordset> rows = std::move(executed.value);

    auto &ldapRows = dynamic_cast<LdapRecordset &>(*rows);
    EXPECT_TRUE(ldapRows.sortedByServer());
    EXPECT_EQ(ldapRows.pagesRead(), 1);
    QStringList names;
    while (!rows->eof()) {
        const Result<Value> name = rows->field("Name");
        ASSERT_TRUE(name.ok());
        names.append(name.value.toText());
        ASSERT_TRUE(rows->moveNext().ok());
    }
    // Plain ASCII names, whose order no collation can dispute.
    QStringList expected;
    for (const SambaDomain::Person &person : dc().people()) {
        if (person.name.startsWith(QLatin1String("Smi"), Qt::CaseInsensitive))
            expected.prepend(person.name);
    }
    EXPECT_GT(expected.size(), 1000);
    EXPECT_EQ(names, expected);
    EXPECT_GE(ldapRows.pagesRead(), 3);
}

} // namespace
