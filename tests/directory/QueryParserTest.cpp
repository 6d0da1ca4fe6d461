#include "directory/QueryParser.h"

#include "support/QtPrinters.h"

#include <gtest/gtest.h>

using namespace orvane::directory;
using orvane::form::Result;
using orvane::form::Status;
using orvane::form::StatusKind;

namespace {

// The query the LDAP Search button sends, built the same way.
QString searchQuery(const QString &path, const QString &prefix)
{
    return QStringLiteral("select name, mail from 'LDAP://") + path
           + QStringLiteral("' where name = '") + prefix + QStringLiteral("*' ORDER BY NAME");
}

Query parsed(const QString &text)
{
    const Result<Query> query = QueryParser::parse(text);
    EXPECT_TRUE(query.ok()) << query.status.description.toStdString();
    return query.value;
}

Status failure(const QString &text)
{
    const Status status = QueryParser::parse(text).status;
    EXPECT_EQ(status.kind, StatusKind::QuerySyntax) << text.toStdString();
    return status;
}

QByteArray filterOf(const QString &condition)
{
    return parsed(QStringLiteral("SELECT mail FROM 'LDAP://h/dc=x' WHERE ") + condition).filter;
}

} // namespace

TEST(QueryParser, SearchQueryWithOrdinaryPrefix)
{
    const Query q = parsed(searchQuery(
            QStringLiteral("dc1.example.test/CN=Users,DC=example,DC=test"), QStringLiteral("Smi")));
    EXPECT_EQ(q.host, "dc1.example.test");
    EXPECT_EQ(q.port, 389);
    EXPECT_EQ(q.baseDn, "CN=Users,DC=example,DC=test");
    EXPECT_EQ(q.attributes, QStringList({"name", "mail"}));
    EXPECT_EQ(q.filter, "(name=Smi*)");
    ASSERT_EQ(q.orderBy.size(), 1u);
    EXPECT_EQ(q.orderBy[0], (SortKey{QStringLiteral("NAME"), false}));
}

TEST(QueryParser, SearchQueryWithEmptySpacedAndNonAsciiPrefixes)
{
    const QString path = QStringLiteral("127.0.0.1:3890/ou=people,dc=example,dc=test");
    EXPECT_EQ(parsed(searchQuery(path, QString())).filter, "(name=*)");
    EXPECT_EQ(parsed(searchQuery(path, QStringLiteral(" Jo hn "))).filter, "(name= Jo hn *)");
    EXPECT_EQ(parsed(searchQuery(path, QStringLiteral("Jürgen Ø"))).filter,
              QStringLiteral("(name=Jürgen Ø*)").toUtf8());
    EXPECT_EQ(parsed(searchQuery(path, QString())).port, 3890);
}

TEST(QueryParser, QuoteInPrefixOrPathFailsWithPosition)
{
    const QString path = QStringLiteral("srv/ou=people,dc=example,dc=test");
    const QString text = searchQuery(path, QStringLiteral("O'Brien"));
    const Status prefix = failure(text);
    const QString brien = QStringLiteral("position %1").arg(text.indexOf("Brien") + 1);
    EXPECT_TRUE(prefix.description.contains(brien)) << prefix.description.toStdString();
    EXPECT_TRUE(prefix.description.contains("\"Brien\"")) << prefix.description.toStdString();

    const QString badPath = searchQuery(QStringLiteral("srv/ou=O'Hara,dc=test"), "x");
    const Status inPath = failure(badPath);
    const QString hara
            = QStringLiteral("position %1: expected WHERE").arg(badPath.indexOf("Hara") + 1);
    EXPECT_TRUE(inPath.description.contains(hara)) << inPath.description.toStdString();

    // A quote left open.
    const Status open = failure(QStringLiteral("select mail from 'LDAP://h/dc=x"));
    EXPECT_TRUE(open.description.contains("position 18")) << open.description.toStdString();
    EXPECT_TRUE(open.description.contains("never closed")) << open.description.toStdString();
}

TEST(QueryParser, PrefixThatReadsAsConditionMeansWhatItSays)
{
    const Query q = parsed(searchQuery("h/dc=x", QStringLiteral("x' OR mail = '")));
    EXPECT_EQ(q.filter, "(|(name=x)(mail=*))");
}

TEST(QueryParser, ValuesCannotInjectFilterSyntax)
{
    EXPECT_EQ(filterOf(QStringLiteral("cn = 'a(b)c\\d*'")), "(cn=a\\28b\\29c\\5cd*)");
    EXPECT_EQ(filterOf(QStringLiteral("cn = 'x)(objectClass=*'")), "(cn=x\\29\\28objectClass=*)");
    EXPECT_EQ(filterOf(QString("cn = 'a") + QChar(0) + "b'"), "(cn=a\\00b)");
    EXPECT_EQ(filterOf(QStringLiteral("cn <= 'a*b'")), "(cn<=a\\2ab)");
    EXPECT_EQ(filterOf(QStringLiteral("uidNumber >= 100")), "(uidNumber>=100)");
}

TEST(QueryParser, WildcardsInEqualityValues)
{
    EXPECT_EQ(filterOf("cn = '*'"), "(cn=*)");
    EXPECT_EQ(filterOf("cn = '**'"), "(cn=*)");
    EXPECT_EQ(filterOf("cn = '*mid*'"), "(cn=*mid*)");
    EXPECT_EQ(filterOf("cn = 'a**b*c'"), "(cn=a*b*c)");
    EXPECT_EQ(filterOf("cn = 'end*'"), "(cn=end*)");
    EXPECT_EQ(filterOf("cn = ''"), "(cn=)");
}

TEST(QueryParser, ConditionsCombine)
{
    EXPECT_EQ(filterOf("a = '1' AND b = '2' AND c = '3'"), "(&(a=1)(b=2)(c=3))");
    EXPECT_EQ(filterOf("a = '1' or b = '2' and c = '3'"), "(|(a=1)(&(b=2)(c=3)))");
    EXPECT_EQ(filterOf("(a = '1' OR b = '2') AND NOT c = '3'"), "(&(|(a=1)(b=2))(!(c=3)))");
    EXPECT_EQ(filterOf("not not a='1'"), "(!(!(a=1)))");
    EXPECT_EQ(parsed("SELECT mail FROM 'LDAP://h/dc=x'").filter, "(objectClass=*)");
}

TEST(QueryParser, SelectListPathAndOrderBy)
{
    const Query q = parsed(QStringLiteral(
            "SeLeCt  cn ,mail,  createTimestamp from 'ldap://[::1]:636/' where cn='a' "
            "order by createTimestamp DESC, cn asc, sn"));
    EXPECT_EQ(q.attributes, QStringList({"cn", "mail", "createTimestamp"}));
    EXPECT_EQ(q.host, "[::1]");
    EXPECT_EQ(q.port, 636);
    EXPECT_EQ(q.baseDn, "");
    ASSERT_EQ(q.orderBy.size(), 3u);
    EXPECT_EQ(q.orderBy[0], (SortKey{"createTimestamp", true}));
    EXPECT_EQ(q.orderBy[1], (SortKey{"cn", false}));
    EXPECT_EQ(q.orderBy[2], (SortKey{"sn", false}));
}

TEST(QueryParser, MalformedQueriesSayWhatAndWhere)
{
    struct Case
    {
        const char *query;
        const char *expect;
    };
    const Case cases[] = {
            {"", "position 1: expected SELECT"},
            {"SELECT FROM 'LDAP://h/x'", "position 8: expected an attribute name"},
            {"SELECT a FROM 'http://h/x'", "position 16: the path must begin with LDAP://"},
            {"SELECT a FROM 'LDAP:///dc=x'", "names no server"},
            {"SELECT a FROM 'LDAP://dc=example,dc=com'", "names no server"},
            {"SELECT a FROM 'LDAP://h:0/x'", "port must be a number"},
            {"SELECT a FROM 'LDAP://h:99999/x'", "port must be a number"},
            {"SELECT a FROM 'LDAP://h x/y'", "server name contains the character \" \""},
            {"SELECT a FROM 'LDAP://h/x' WHERE a = 'b' AND", "expected an attribute name"},
            {"SELECT a FROM 'LDAP://h/x' WHERE a < 'b'", "the character \"<\""},
            {"SELECT a FROM 'LDAP://h/x' WHERE (a = 'b'", "expected \")\""},
            {"SELECT a FROM 'LDAP://h/x' ORDER a", "expected BY"},
            {"SELECT a FROM 'LDAP://h/x' extra", "expected WHERE, ORDER BY or the end"},
            {"SELECT a, FROM 'LDAP://h/x'", "expected an attribute name but found \"FROM\""},
    };
    for (const Case &c : cases) {
        const Status status = failure(QString::fromUtf8(c.query));
        EXPECT_TRUE(status.description.contains(QString::fromUtf8(c.expect)))
                << c.query << " -> " << status.description.toStdString();
    }
}

TEST(QueryParser, LimitsHoldAgainstHostileInput)
{
    const QString head = QStringLiteral("SELECT a FROM 'LDAP://h/x' WHERE ");
    // Deep nesting is refused, not recursed into.
    const Status deep = failure(head + QString(5000, u'(') + "a='b'");
    EXPECT_TRUE(deep.description.contains("nested")) << deep.description.toStdString();
    EXPECT_TRUE(failure(head + QString(1000, u'N').replace("N", "NOT ") + "a='b'")
                        .description.contains("nested"));
    EXPECT_TRUE(failure(QString(QueryParser::maxLength + 1, u'x')).description.contains("longer"));

    QString manyAttributes = QStringLiteral("SELECT a0");
    for (int i = 1; i <= QueryParser::maxAttributes; ++i)
        manyAttributes += QStringLiteral(", a%1").arg(i);
    EXPECT_TRUE(failure(manyAttributes + " FROM 'LDAP://h/x'").description.contains("more than"));

    // Long flat chains are fine (no recursion per term).
    QString chain = head + "a='0'";
    for (int i = 1; i < 2000; ++i)
        chain += QStringLiteral(" OR a='%1'").arg(i);
    EXPECT_TRUE(parsed(chain).filter.startsWith("(|(a=0)(a=1)"));

    // Lone surrogates and odd characters fail cleanly.
    failure(head + QChar(0xd800) + "='x'");
    failure(head + QStringLiteral("a = 'x' \u00e9"));
}

TEST(QueryParser, RandomTokenSoupNeverCrashesAndFailuresArePositioned)
{
    const QStringList pieces = {"SELECT",
                                "select",
                                "name",
                                ",",
                                "mail",
                                "FROM",
                                "'LDAP://h:389/dc=x'",
                                "'",
                                "WHERE",
                                "=",
                                "<=",
                                ">=",
                                "AND",
                                "OR",
                                "NOT",
                                "(",
                                ")",
                                "'a*b'",
                                "'*'",
                                "ORDER",
                                "BY",
                                "DESC",
                                "ASC",
                                "\\",
                                QString(QChar(0)),
                                "ü",
                                "<",
                                " "};
    std::uint32_t seed = 12345;
    auto next = [&seed] { return (seed = seed * 1664525u + 1013904223u) >> 8; };
    int accepted = 0;
    for (int round = 0; round < 20000; ++round) {
        QString text = round % 2 ? QStringLiteral("SELECT a FROM 'LDAP://h/x' ") : QString();
        const int length = int(next() % 24);
        for (int i = 0; i < length; ++i)
            text += pieces.at(qsizetype(next() % std::uint32_t(pieces.size()))) + u' ';
        const Result<Query> query = QueryParser::parse(text);
        const Status &status = query.status;
        if (status.ok()) {
            ++accepted;
            // Balanced parentheses: nothing typed can unbalance the filter.
            EXPECT_EQ(query.value.filter.count('('), query.value.filter.count(')'))
                    << text.toStdString();
        } else {
            EXPECT_EQ(status.kind, StatusKind::QuerySyntax);
            EXPECT_TRUE(status.description.contains("position ")) << text.toStdString();
        }
    }
    EXPECT_GT(accepted, 0);
}

// Found by fuzzing: attribute names libldap's filter parser refuses, and descriptions that
// cut a character in half.
TEST(QueryParser, AttributeNamesFollowLdapSyntaxAndDescriptionsStayWholeText)
{
    EXPECT_EQ(filterOf("userCertificate;binary = 'x'"), "(userCertificate;binary=x)");
    EXPECT_EQ(filterOf("2.5.4.3 = 'x'"), "(2.5.4.3=x)");
    for (const char *name : {"a_b", "2.05.4", "1..2", "cn;", "1a", "x.y"})
        EXPECT_TRUE(failure(QStringLiteral("SELECT %1 FROM 'LDAP://h/dc=x'").arg(name))
                            .description.contains("attribute name"))
                << name;

    const QString emoji = QStringLiteral("😀");
    const Status server = failure("SELECT mail FROM 'LDAP://h" + emoji + "/dc=x'");
    EXPECT_TRUE(server.description.contains("\"" + emoji + "\""))
            << server.description.toStdString();
    const Status cut = failure("SELECT mail '" + QString(39, 'a') + emoji + "'");
    EXPECT_TRUE(cut.description.isValidUtf16());
    EXPECT_TRUE(cut.description.contains(QString(39, 'a') + "'"));
}
