#include "directory/LdapDirectoryComponents.h"
#include "directory/detail/LdapFailure.h"
#include "directory/detail/PagedSearch.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

using namespace orvane::directory;
using orvane::form::Result;
using orvane::form::Status;
using orvane::form::StatusKind;

namespace {

class LdapLayerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        auto createdConnection = components.createConnection();
        ASSERT_TRUE(createdConnection.ok());
        connection = std::move(createdConnection.value);
        auto createdCommand = components.createCommand();
        ASSERT_TRUE(createdCommand.ok());
        command = std::move(createdCommand.value);
    }

    LdapDirectoryComponents components;
    std::unique_ptr<Connection> connection;
    std::unique_ptr<Command> command;
};

detail::FailureContext server()
{
    return {QStringLiteral("dc1.example.test"), 389, QStringLiteral("CN=Users,DC=example,DC=test"),
            std::chrono::seconds(10), false};
}

} // namespace

TEST_F(LdapLayerTest, OnlyTheDirectoryProviderIsOffered)
{
    const Status other = connection->setProvider("MSDASQL");
    EXPECT_EQ(other.kind, StatusKind::ProviderUnavailable);
    EXPECT_TRUE(other.description.contains("\"MSDASQL\"")) << other.description.toStdString();
    // Without a provider there are no properties to set.
    EXPECT_EQ(connection->setProperty("User ID", Value::text("x")).kind,
              StatusKind::PropertyNotOffered);
    EXPECT_EQ(connection->open("Active Directory Provider", "", "", -1).kind,
              StatusKind::InvalidState);
    EXPECT_TRUE(connection->setProvider("adsdsoobject").ok());
}

TEST_F(LdapLayerTest, PropertiesMatchWithoutCaseAndCheckTheirValues)
{
    ASSERT_TRUE(connection->setProvider("ADsDSOObject").ok());
    EXPECT_TRUE(connection->setProperty("user id", Value::text("EXAMPLE\\alice")).ok());
    EXPECT_TRUE(connection->setProperty("PASSWORD", Value::text("pw")).ok());
    const Status unknown = connection->setProperty("Encrypt Password", Value::boolean(true));
    EXPECT_EQ(unknown.kind, StatusKind::PropertyNotOffered);
    EXPECT_TRUE(unknown.description.contains("\"User ID\", \"Password\""))
            << unknown.description.toStdString();
    EXPECT_EQ(connection->setProperty("User ID", Value::int16(1)).kind, StatusKind::InvalidValue);

    EXPECT_TRUE(command->setProperty("page size", Value::int16(1000)).ok());
    EXPECT_TRUE(command->setProperty("TIMEOUT", Value::int16(10)).ok());
    EXPECT_TRUE(command->setProperty("SearchScope", Value::int32(2)).ok());
    EXPECT_EQ(command->setProperty("searchscope", Value::int32(3)).kind, StatusKind::InvalidValue);
    EXPECT_EQ(command->setProperty("Page Size", Value::int16(-1)).kind, StatusKind::InvalidValue);
    EXPECT_EQ(command->setProperty("Timeout", Value::text("10")).kind, StatusKind::InvalidValue);
    EXPECT_EQ(command->setProperty("Sort On", Value::text("name")).kind,
              StatusKind::PropertyNotOffered);
}

TEST_F(LdapLayerTest, UserNameWithoutPasswordIsRefusedAtOpen)
{
    ASSERT_TRUE(connection->setProvider("ADsDSOObject").ok());
    ASSERT_TRUE(connection->setProperty("User ID", Value::text("alice@example.test")).ok());
    const Status status = connection->open("Active Directory Provider", "", "", -1);
    EXPECT_EQ(status.kind, StatusKind::CredentialsRefused);
    EXPECT_TRUE(status.description.contains("alice@example.test"));

    // An empty user name is an anonymous bind, which opens.
    ASSERT_TRUE(connection->setProperty("User ID", Value::text("")).ok());
    EXPECT_TRUE(connection->open("Active Directory Provider", "", "", -1).ok());
}

TEST_F(LdapLayerTest, ExecuteNeedsAnOpenConnectionAndAQueryThatParses)
{
    EXPECT_EQ(command->execute(-1).status.kind, StatusKind::InvalidState);

    ASSERT_TRUE(connection->setProvider("ADsDSOObject").ok());
    ASSERT_TRUE(command->setActiveConnection(*connection).ok());
    EXPECT_EQ(command->execute(-1).status.kind, StatusKind::InvalidState);

    ASSERT_TRUE(connection->open("Active Directory Provider", "", "", -1).ok());
    // Port 9 (discard) on a name that cannot resolve: a parse failure must come first.
    ASSERT_TRUE(command->setCommandText("select name from 'LDAP://no.such.host.invalid:9/x' where")
                        .ok());
    const Result<std::unique_ptr<Recordset>> rows = command->execute(-1);
    EXPECT_EQ(rows.status.kind, StatusKind::QuerySyntax);
    EXPECT_FALSE(rows.value);
}

TEST(LdapFailure, DescriptionsKeepTheServersWordsAndSayWhatToDo)
{
    const Status ad = detail::ldapFailure(49,
                                          "80090308: LdapErr: DSID-0C09042A, comment: "
                                          "AcceptSecurityContext error, data 52e, v3839",
                                          "", server());
    EXPECT_EQ(ad.kind, StatusKind::CredentialsRefused);
    EXPECT_EQ(ad.nativeCode, 49);
    EXPECT_TRUE(ad.description.startsWith("Invalid credentials (LDAP result 49): 80090308"));
    EXPECT_TRUE(ad.description.contains("data 52e"));

    const Status stronger
            = detail::ldapFailure(8, "00002028: LdapErr: DSID-0C090256", "", server());
    EXPECT_EQ(stronger.kind, StatusKind::StrongerAuthRequired);
    EXPECT_TRUE(stronger.description.contains("LDAP://dc1.example.test:636/"))
            << stronger.description.toStdString();

    const Status missing = detail::ldapFailure(32, "", "DC=example,DC=test", server());
    EXPECT_EQ(missing.kind, StatusKind::NoSuchObject);
    EXPECT_TRUE(missing.description.contains("\"CN=Users,DC=example,DC=test\""));
    EXPECT_TRUE(missing.description.contains("nearest existing entry is \"DC=example,DC=test\""));

    const Status down = detail::ldapFailure(-1, "", "", server());
    EXPECT_EQ(down.kind, StatusKind::Unreachable);
    EXPECT_TRUE(down.description.contains("dc1.example.test on port 389"));

    for (const int rc : {3, -5}) {
        const Status slow = detail::ldapFailure(rc, "", "", server());
        EXPECT_EQ(slow.kind, StatusKind::TimeLimit);
        EXPECT_TRUE(slow.description.contains("within 10 seconds"))
                << slow.description.toStdString();
    }
}

TEST(LdapEntry, RdnValueIsDecodedAsRfc4514Says)
{
    // clang-format off
    const std::pair<const char *, const char *> rows[] = {
        {"cn=Smith\\2C John\\C3\\A9,ou=people,dc=example,dc=test", "Smith, Johné"},
        {"CN=O\\\"Brien\\+Co,OU=People", "O\"Brien+Co"},
        {"cn=first+sn=second,dc=test", "first"},
        {"ou=\\ leading and trailing\\ ", " leading and trailing "},
        {"not a dn", ""},
    };
    // clang-format on
    for (const auto &[dn, value] : rows)
        EXPECT_EQ(detail::rdnValue(QString::fromUtf8(dn)), QString::fromUtf8(value)) << dn;
}

TEST(LdapFailure, RefusalsOfASignInSayWhatIsWrongInPlainWords)
{
    struct Row
    {
        int rc;
        const char *diagnostic;
        bool kerberos;
        const char *words;
    };
    // clang-format off
    const Row rows[] = {
        {49, "80090308: LdapErr: DSID-0C09041C, comment: AcceptSecurityContext error, data 532, v4563", false, "password has expired"},
        {49, "80090308: LdapErr: DSID-0C09041C, comment: AcceptSecurityContext error, data 533, v4563", false, "account is disabled"},
        {49, "80090308: LdapErr: DSID-0C09041C, comment: AcceptSecurityContext error, data 701, v4563", false, "account has expired"},
        {49, "80090308: LdapErr: DSID-0C09041C, comment: AcceptSecurityContext error, data 773, v4563", false, "must be changed"},
        {49, "Invalid credentials", false, "refused the user name or the password"},
        {-2, "SASL(-1): generic failure: GSSAPI Error: Unspecified GSS failure.  Minor code may provide more information (Ticket expired)", true, "ticket has expired"},
        {-2, "SASL(-1): generic failure: GSSAPI Error: Unspecified GSS failure.  Minor code may provide more information (Server ldap/dc1.example.test@EXAMPLE.TEST not found in Kerberos database)", true, "knows no service ldap/dc1.example.test"},
        {-2, "SASL(-1): generic failure: GSSAPI Error: Unspecified GSS failure.  Minor code may provide more information (Cannot contact any KDC for realm 'EXAMPLE.TEST')", true, "Kerberos server could not be reached"},
        {-6, "SASL(-4): no mechanism available: No worthy mechs found", true, "install the package libsasl2-modules-gssapi-mit"},
    };
    // clang-format on
    for (const Row &row : rows) {
        const Status status = row.kerberos
                                      ? detail::kerberosFailure(row.rc, row.diagnostic, server())
                                      : detail::ldapFailure(row.rc, row.diagnostic, "", server());
        EXPECT_EQ(status.kind, StatusKind::CredentialsRefused) << row.diagnostic;
        EXPECT_TRUE(status.description.contains(row.diagnostic)) << row.diagnostic;
        EXPECT_TRUE(status.description.contains(row.words)) << status.description.toStdString();
        EXPECT_FALSE(detail::kerberosUnavailable(row.diagnostic)) << row.diagnostic;
    }
    // No ticket at all is no failure: the search goes on anonymously.
    EXPECT_TRUE(detail::kerberosUnavailable(
            "SASL(-1): generic failure: GSSAPI Error: Unspecified GSS failure.  Minor code may "
            "provide more information (No Kerberos credentials available (default cache: "
            "FILE:/tmp/krb5cc_0))"));
}
