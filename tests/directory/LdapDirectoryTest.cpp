#include "DirectoryTestData.h"
#include "directory/LdapDirectoryComponents.h"
#include "directory/LdapRecordset.h"
#include "directory/SearchAction.h"
#include "support/Loopback.h"
#include "support/QtPrinters.h"
#include "support/RecordingForm.h"
#include "support/RequireServer.h"
#include "support/SlapdServer.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <cstdlib>
#include <gtest/gtest.h>
#include <iostream>

using namespace orvane;
using namespace orvane::directory;
using form::Control;
using orvane::form::Result;
using orvane::form::Status;
using orvane::form::StatusKind;
using test::DirectoryTestData;
using test::RecordingForm;
using test::SlapdServer;

namespace {

// One slapd for the whole test binary: two databases, the second with the sort overlay.
class DirectoryServer : public ::testing::Environment
{
public:
    void SetUp() override
    {
        example = DirectoryTestData::example();
        sorted = DirectoryTestData::sorted();
        const QStringList global = {
                // Like Active Directory: 1,000 entries without paging, all of them with it.
                "sizelimit size.soft=1000 size.hard=1000 size.prtotal=unlimited",
                "access to dn.base=\"\" by * read", // the root DSE: StartTLS is offered
                "access to attrs=userPassword by anonymous auth by * none",
                "access to * by users read by * none",
        };
        // A third database refuses clients without authentication with result 8, as a domain
        // controller that wants more than a plain simple bind does.
        const QString strong = QStringLiteral("dn: dc=strong,dc=test\nobjectClass: dcObject\n"
                                              "objectClass: organization\ndc: strong\no: strong\n");
        // A few names whose order depends on the locale's collation.
        const QString names
                = QString::fromUtf8(
                          "dn: dc=names,dc=test\nobjectClass: dcObject\nobjectClass: organization\n"
                          "dc: names\no: names\n\n"
                          "dn: cn=Zoe Adams,dc=names,dc=test\nobjectClass: inetOrgPerson\ncn: Zoe "
                          "Adams\n"
                          "sn: Adams\nmail: zoe@names.test\n\n"
                          "dn:: %1\nobjectClass: inetOrgPerson\ncn:: %2\nsn: Zola\nmail: "
                          "emile@names.test\n\n"
                          "dn: cn=Emil Berg,dc=names,dc=test\nobjectClass: inetOrgPerson\ncn: Emil "
                          "Berg\n"
                          "sn: Berg\nmail: emil@names.test\n\n"
                          "dn: cn=eve ash,dc=names,dc=test\nobjectClass: inetOrgPerson\ncn: eve "
                          "ash\n"
                          "sn: Ash\nmail: eve@names.test\n")
                          .arg(QString::fromLatin1(QStringLiteral("cn=Émile Zola,dc=names,dc=test")
                                                           .toUtf8()
                                                           .toBase64()),
                               QString::fromLatin1(
                                       QStringLiteral("Émile Zola").toUtf8().toBase64()));
        started = server.start({{example.suffix, example.ldif(), {}, {}},
                                {sorted.suffix, sorted.ldif(), {"sssvlv"}, {}},
                                {"dc=strong,dc=test", strong, {}, {"require strong"}},
                                {"dc=names,dc=test", names, {}, {}}},
                               global);
    }
    void TearDown() override { server.stop(); }

    static inline SlapdServer server;
    static inline DirectoryTestData example;
    static inline DirectoryTestData sorted;
    static inline bool started = false;
};

const auto *const registered = ::testing::AddGlobalTestEnvironment(new DirectoryServer);

class LdapDirectoryTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ORVANE_REQUIRE_SERVER(DirectoryServer::started,
                              "test slapd: " + DirectoryServer::server.error());
        form.preset(Control::txtLdapCon,
                    path(DirectoryServer::server.plainPort(), example().peopleDn()));
        form.preset(Control::txtLdapUser, example().readerDn());
        form.preset(Control::txtLdapPassword, QLatin1String(DirectoryTestData::readerPassword));
    }

    static const DirectoryTestData &example() { return DirectoryServer::example; }
    static const DirectoryTestData &sorted() { return DirectoryServer::sorted; }
    static QString path(int port, const QString &base, const QString &host = "127.0.0.1")
    {
        return QStringLiteral("%1:%2/%3").arg(host).arg(port).arg(base);
    }

    LdapProviderOptions options() const
    {
        LdapProviderOptions o;
        o.caFile = DirectoryServer::server.caFile();
        o.connectTimeout = std::chrono::seconds(3);
        const int tlsPort = DirectoryServer::server.tlsPort();
        o.portRule = [tlsPort](int port) {
            return port == tlsPort ? TransportMode::Tls : TransportMode::Plain;
        };
        return o;
    }

    void search(const LdapProviderOptions &o)
    {
        LdapDirectoryComponents components(o);
        cmdLdapSearch_Click(form, components);
    }
    void search() { search(options()); }

    // The one "LDAP error" box of a failed search: no password in it, the list empty.
    QString failureBox()
    {
        EXPECT_EQ(form.boxes.size(), 1u);
        if (form.boxes.empty())
            return QString();
        EXPECT_EQ(form.boxes[0].caption, "LDAP error");
        const QString password = form.textOf(Control::txtLdapPassword);
        EXPECT_TRUE(password.isEmpty() || !form.boxes[0].text.contains(password))
                << form.boxes[0].text.toStdString();
        EXPECT_TRUE(form.listOf(Control::lstEmail).isEmpty());
        return form.boxes[0].text;
    }

    // Runs a query through the layer itself and returns the recordset, for the paging and
    // sorting paths the button does not choose.
    std::unique_ptr<Recordset> execute(const QString &query, int pageSize)
    {
        LdapDirectoryComponents components(options());
        auto createdConnection = components.createConnection();
        EXPECT_TRUE(createdConnection.ok());
        connection = std::move(createdConnection.value);
        EXPECT_TRUE(connection->setProvider("ADsDSOObject").ok());
        EXPECT_TRUE(connection->setProperty("user id", Value::text(example().readerDn())).ok());
        EXPECT_TRUE(
                connection->setProperty("PASSWORD", Value::text(DirectoryTestData::readerPassword))
                        .ok());
        EXPECT_TRUE(connection->open("Active Directory Provider", "", "", -1).ok());
        auto createdCommand = components.createCommand();
        EXPECT_TRUE(createdCommand.ok());
        command = std::move(createdCommand.value);
        EXPECT_TRUE(command->setActiveConnection(*connection).ok());
        EXPECT_TRUE(command->setCommandText(query).ok());
        EXPECT_TRUE(command->setProperty("page size", Value::int32(pageSize)).ok());
        EXPECT_TRUE(command->setProperty("Timeout", Value::int16(10)).ok());
        auto rows = command->execute(-1);
        EXPECT_TRUE(rows.ok()) << rows.status.description.toStdString();
        return std::move(rows.value);
    }

    // The quoted path of a database's people, for a query of the tests' own.
    static QString peoplePath(const DirectoryTestData &data)
    {
        return QStringLiteral("'LDAP://127.0.0.1:%1/%2'")
                .arg(DirectoryServer::server.plainPort())
                .arg(data.peopleDn());
    }

    static QStringList readAll(Recordset &rows, const QString &field)
    {
        QStringList values;
        while (!rows.eof()) {
            const Result<Value> value = rows.field(field);
            EXPECT_TRUE(value.ok());
            values.append(value.value.toText());
            const Status status = rows.moveNext();
            EXPECT_TRUE(status.ok()) << status.description.toStdString();
            if (!status.ok())
                break;
        }
        return values;
    }

    RecordingForm form;
    std::unique_ptr<Connection> connection;
    std::unique_ptr<Command> command;
};

} // namespace

TEST_F(LdapDirectoryTest, PrefixMatchingMoreThanAThousandReturnsAllSortedByName)
{
    form.preset(Control::txtLdap, "Smi");
    search();
    const QStringList expected = example().expectedMails("Smi");
    ASSERT_GT(expected.size(), 1000);
    EXPECT_TRUE(form.boxes.empty()) << form.boxes[0].text.toStdString();
    EXPECT_EQ(form.listOf(Control::lstEmail), expected);
}

TEST_F(LdapDirectoryTest, EntriesWithoutMailLeftOutDuplicatesKeptFirstOfSeveral)
{
    form.preset(Control::txtLdap, QString());
    search();
    const QStringList listed = form.listOf(Control::lstEmail);
    EXPECT_TRUE(form.boxes.empty());
    EXPECT_EQ(listed, example().expectedMails(QString()));
    EXPECT_EQ(listed.count("shared@example.test"), 2);
    EXPECT_TRUE(listed.contains("first@example.test"));
    EXPECT_FALSE(listed.contains("second@example.test"));
    // Every ninth person has no mail, the reader and the containers neither.
    EXPECT_LT(listed.size(), int(example().people.size()));
}

TEST_F(LdapDirectoryTest, NonAsciiAndNoMatchPrefixes)
{
    form.preset(Control::txtLdap, QStringLiteral("Mül"));
    search();
    EXPECT_EQ(form.listOf(Control::lstEmail), example().expectedMails(QStringLiteral("Mül")));
    EXPECT_FALSE(form.listOf(Control::lstEmail).isEmpty());

    RecordingForm again;
    form.preset(Control::txtLdap, QStringLiteral("Zz"));
    search();
    EXPECT_TRUE(form.listOf(Control::lstEmail).isEmpty());
    EXPECT_TRUE(form.boxes.empty());
}

TEST_F(LdapDirectoryTest, WrongPasswordIsRefused)
{
    form.preset(Control::txtLdapPassword, "Wr0ng-secret-99");
    search();
    const QString text = failureBox();
    EXPECT_TRUE(text.contains("Invalid credentials")) << text.toStdString();
    EXPECT_TRUE(text.contains("49")) << text.toStdString();
}

TEST_F(LdapDirectoryTest, UserWithoutPasswordIsRefusedBeforeConnecting)
{
    form.preset(Control::txtLdapPassword, QString());
    search();
    const QString text = failureBox();
    EXPECT_TRUE(text.contains("No password")) << text.toStdString();
}

TEST_F(LdapDirectoryTest, UnreachablePortNamesHostAndPort)
{
    const int closed = test::freePort();
    form.preset(Control::txtLdapCon, path(closed, example().peopleDn()));
    QElapsedTimer timer;
    timer.start();
    search();
    const QString text = failureBox();
    EXPECT_TRUE(text.contains(QStringLiteral("127.0.0.1 on port %1").arg(closed)))
            << text.toStdString();
    EXPECT_TRUE(text.contains("Can't contact LDAP server")) << text.toStdString();
    EXPECT_LT(timer.elapsed(), 5000);
}

TEST_F(LdapDirectoryTest, ServerThatNeverAnswersTimesOut)
{
    test::SilentListener silent;
    ASSERT_NE(silent.port(), 0);
    form.preset(Control::txtLdapCon, path(silent.port(), example().peopleDn()));

    LdapProviderOptions o = options();
    o.answerTimeout = std::chrono::milliseconds(400);
    QElapsedTimer timer;
    timer.start();
    search(o);
    const QString text = failureBox();
    EXPECT_TRUE(text.contains("did not answer within 0.4 seconds")) << text.toStdString();
    EXPECT_LT(timer.elapsed(), 3000);
}

TEST_F(LdapDirectoryTest, BaseThatDoesNotExist)
{
    form.preset(Control::txtLdapCon,
                path(DirectoryServer::server.plainPort(), "ou=nowhere," + example().suffix));
    form.preset(Control::txtLdap, "Smi");
    search();
    const QString text = failureBox();
    EXPECT_TRUE(text.contains("No such object (LDAP result 32)")) << text.toStdString();
    EXPECT_TRUE(text.contains("ou=nowhere")) << text.toStdString();
}

TEST_F(LdapDirectoryTest, StrongerAuthenticationRequiredOverTlsAsksForASignIn)
{
    // slapd counts a password bind as strong enough; an anonymous client is refused, also
    // over the StartTLS the server offers.
    form.preset(Control::txtLdapCon,
                path(DirectoryServer::server.plainPort(), "dc=strong,dc=test"));
    form.preset(Control::txtLdapUser, QString());
    form.preset(Control::txtLdapPassword, QString());
    search();
    const QString text = failureBox();
    EXPECT_TRUE(text.contains("(LDAP result 8)")) << text.toStdString();
    EXPECT_TRUE(text.contains("enter a user name and password")) << text.toStdString();
}

TEST_F(LdapDirectoryTest, QuoteInPrefixFailsBeforeConnecting)
{
    // The port is closed: only a failure before any connection names the query.
    form.preset(Control::txtLdapCon, path(test::freePort(), example().peopleDn()));
    form.preset(Control::txtLdap, "O'Brien");
    search();
    const QString text = failureBox();
    EXPECT_TRUE(text.contains("position")) << text.toStdString();
    EXPECT_FALSE(text.contains("contact")) << text.toStdString();
}

TEST_F(LdapDirectoryTest, LdapOverTlsWithTheTestsOwnCa)
{
    // Not "localhost": libldap checks the certificate against the machine's own name then.
    form.preset(Control::txtLdap, "Tay");
    form.preset(Control::txtLdapCon,
                path(DirectoryServer::server.tlsPort(), example().peopleDn(), "127.0.0.1"));
    search();
    EXPECT_TRUE(form.boxes.empty()) << form.boxes[0].text.toStdString();
    EXPECT_EQ(form.listOf(Control::lstEmail), example().expectedMails("Tay"));
}

// A certificate that fails verification, on the TLS port or after StartTLS on the plain one:
// the box says why, and the bind never happens.
TEST_F(LdapDirectoryTest, UntrustedOrMisnamedCertificatesAreRefusedBeforeTheBind)
{
    struct Row
    {
        bool tlsPort;
        const char *host;
        bool trustTestCa;
        QStringList words;
    };
    // clang-format off
    const Row rows[] = {
        {false, "127.0.0.1", false, {"(StartTLS)", "issued by \"orvane test CA\"", "does not trust"}},
        {true, "127.0.0.1", false, {"(TLS)", "issued by \"orvane test CA\"", "does not trust"}},
        {false, "localhost", true, {"(StartTLS)", "issued to \"localhost\", \"127.0.0.1\", not to"}},
    };
    // clang-format on
    for (const Row &row : rows) {
        SCOPED_TRACE(row.host);
        form.boxes.clear();
        const auto &server = DirectoryServer::server;
        form.preset(Control::txtLdapCon, path(row.tlsPort ? server.tlsPort() : server.plainPort(),
                                              example().peopleDn(), row.host));
        LdapProviderOptions o = options();
        if (!row.trustTestCa)
            o.caFile.clear();
        search(o);
        const QString text = failureBox();
        for (const QString &word : row.words)
            EXPECT_TRUE(text.contains(word)) << text.toStdString();
        EXPECT_TRUE(text.contains("No password was sent.")) << text.toStdString();
    }
}

namespace {

// What lies near the program decides nothing about whom TLS trusts: an ldaprc in the folder it
// is started from (one that switches the check off, or one that names the CA the server's
// certificate comes from) and LDAPTLS_REQCERT in its environment. The certificate of a CA the
// program does not trust is refused on the TLS port and after StartTLS, and no bind reaches
// the server (a CA named through LDAPCONF is trusted: the AD test trusts its CA only that way).
// libldap reads those once, at its first use, so each row runs in a process of its own (with
// its own slapd), set up before that. Without an ldaprc, LDAPTLS_REQCERT=never is set instead.
// Exits 0 when all held.
void searchWithTrustNearby(const char *ldaprc, RecordingForm &form,
                           const LdapProviderOptions &untrusting)
{
    QTemporaryDir folder;
    if (!ldaprc) {
        qputenv("LDAPTLS_REQCERT", "never");
    } else {
        QFile file(folder.filePath("ldaprc"));
        const QString text = QString::fromLatin1(ldaprc).arg(DirectoryServer::server.caFile());
        if (!file.open(QIODevice::WriteOnly) || file.write(text.toUtf8()) < 0)
            std::exit(2);
    }
    if (!QDir::setCurrent(folder.path()))
        std::exit(2);
    const auto &server = DirectoryServer::server;
    bool held = true;
    form.preset(Control::txtLdap, "Tay");
    for (const int port : {server.tlsPort(), server.plainPort()}) {
        form.boxes.clear();
        form.preset(Control::txtLdapCon, QStringLiteral("127.0.0.1:%1/").arg(port)
                                                 + DirectoryServer::example.peopleDn());
        const qsizetype before = server.logText().size();
        LdapDirectoryComponents components(untrusting);
        cmdLdapSearch_Click(form, components);
        const QString text = form.boxes.empty() ? QString() : form.boxes[0].text;
        const QString log = server.logText().mid(before);
        if (!text.contains("does not trust") || log.contains("BIND dn=\"cn=reader")) {
            std::cerr << "port " << port << ": box \"" << text.toStdString() << "\", slapd saw "
                      << log.toStdString();
            held = false;
        }
    }
    std::exit(held ? 0 : 1);
}

} // namespace

TEST_F(LdapDirectoryTest, NothingNearbyWeakensTheCertificateCheck)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    LdapProviderOptions untrusting = options();
    untrusting.caFile.clear(); // the system's trust: the test CA is not in it
    // %1: the CA that signed the server's certificate.
    for (const char *ldaprc : {"TLS_REQCERT never\n", "TLS_CACERT %1\n", (const char *)nullptr}) {
        SCOPED_TRACE(ldaprc ? ldaprc : "LDAPTLS_REQCERT=never");
        EXPECT_EXIT(searchWithTrustNearby(ldaprc, form, untrusting), ::testing::ExitedWithCode(0),
                    "");
    }
}

TEST_F(LdapDirectoryTest, ServerSortsOnAnAttributeWithAnOrderingRulePageByPage)
{
    const QString base = peoplePath(sorted());
    std::unique_ptr<Recordset> rows = execute(
            "SELECT cn, mail FROM " + base + " WHERE sn = 'Person' ORDER BY createTimestamp", 200);
    ASSERT_TRUE(rows);
    auto &ldapRows = dynamic_cast<LdapRecordset &>(*rows);
    EXPECT_TRUE(ldapRows.sortedByServer());
    EXPECT_EQ(ldapRows.pagesRead(), 1); // the first rows are there before the last page

    // createTimestamp runs opposite to the names.
    QStringList expected;
    for (const auto &p : sorted().people)
        expected.append(p.cn);
    std::sort(expected.begin(), expected.end(), std::greater<>());
    EXPECT_EQ(readAll(*rows, "CN"), expected);
    EXPECT_GE(ldapRows.pagesRead(), 8);
}

TEST_F(LdapDirectoryTest, SortOnNameRefusedByServerIsDoneHere)
{
    const QString base = peoplePath(sorted());
    std::unique_ptr<Recordset> rows = execute(
            "select name, mail from " + base + " where name = 'Pers*' ORDER BY NAME DESC", 200);
    ASSERT_TRUE(rows);
    auto &ldapRows = dynamic_cast<LdapRecordset &>(*rows);
    EXPECT_FALSE(ldapRows.sortedByServer());
    const int pages = ldapRows.pagesRead();
    EXPECT_GE(pages, 8); // every page was read before the first row

    QStringList expected;
    for (const auto &p : sorted().people)
        expected.append(p.mails.first());
    std::sort(expected.begin(), expected.end(), std::greater<>());
    EXPECT_EQ(readAll(*rows, "mail"), expected);
    EXPECT_EQ(ldapRows.pagesRead(), pages);

    EXPECT_EQ(rows->field("nosuch").status.kind, StatusKind::NoSuchField);
}

TEST_F(LdapDirectoryTest, EmptyUserNameBindsAnonymously)
{
    // The test server lets anonymous clients see nothing, so the base is hidden from them.
    form.preset(Control::txtLdapUser, QString());
    form.preset(Control::txtLdapPassword, QString());
    form.preset(Control::txtLdap, "Smi");
    search();
    const QString text = failureBox();
    EXPECT_TRUE(text.contains("LDAP result 32")) << text.toStdString();
}

TEST_F(LdapDirectoryTest, SortDoneHereFollowsTheLocalesCollation)
{
    const QLocale before;
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    form.preset(Control::txtLdapCon, path(DirectoryServer::server.plainPort(), "dc=names,dc=test"));
    form.preset(Control::txtLdap, QString());
    search();
    QLocale::setDefault(before);
    EXPECT_TRUE(form.boxes.empty()) << form.boxes[0].text.toStdString();
    // Accents count after the letters: "Émile" beside "Emil", not after "Zoe".
    EXPECT_EQ(form.listOf(Control::lstEmail), QStringList({"emil@names.test", "emile@names.test",
                                                           "eve@names.test", "zoe@names.test"}));
}

TEST_F(LdapDirectoryTest, SortRequestIgnoredByServerIsDoneHere)
{
    // The first database has no sort overlay: slapd answers without a sort response.
    const QString base = peoplePath(example());
    std::unique_ptr<Recordset> rows = execute(
            "SELECT cn FROM " + base + " WHERE sn = 'Smith' ORDER BY createTimestamp DESC, cn",
            250);
    ASSERT_TRUE(rows);
    auto &ldapRows = dynamic_cast<LdapRecordset &>(*rows);
    EXPECT_FALSE(ldapRows.sortedByServer());
    EXPECT_GE(ldapRows.pagesRead(), 5); // 1,200 entries, every page before the first row

    // Every person has the same createTimestamp: the second key decides.
    QStringList expected;
    for (const auto &p : example().people) {
        if (p.sn == "Smith")
            expected.append(p.cn);
    }
    std::sort(expected.begin(), expected.end(), [](const QString &a, const QString &b) {
        return a.compare(b, Qt::CaseInsensitive) < 0;
    });
    EXPECT_EQ(readAll(*rows, "cn"), expected);
}
