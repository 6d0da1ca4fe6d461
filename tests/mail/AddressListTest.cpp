// Address lists as people type them, and everything that must be refused.
#include "mail/AddressList.h"

#include "mail/HeaderEncoder.h"

#include <QRandomGenerator>

#include <gtest/gtest.h>

using namespace orvane::mail;
using orvane::form::Result;
using orvane::form::StatusKind;

namespace {

MailboxList parsed(const QString &text)
{
    Result<MailboxList> result = AddressList::parse(text);
    EXPECT_TRUE(result.status.ok())
            << text.toStdString() << ": " << result.status.description.toStdString();
    return result.value;
}

TEST(AddressList, ReadsListsWithNamesQuotesAndBothSeparators)
{
    EXPECT_EQ(parsed("ann@example.com"), MailboxList({{"", "ann@example.com"}}));
    EXPECT_EQ(parsed("  Ann Smith <ann@example.com>  "),
              MailboxList({{"Ann Smith", "ann@example.com"}}));
    EXPECT_EQ(parsed("\"Doe, John\" <john@example.org>, bob@example.net; Eve <eve@example.com>"),
              MailboxList({{"Doe, John", "john@example.org"},
                           {"", "bob@example.net"},
                           {"Eve", "eve@example.com"}}));
    EXPECT_EQ(parsed("\"a;b\" <x@example.com>;;, ,"), MailboxList({{"a;b", "x@example.com"}}));
    EXPECT_EQ(parsed("ann@example.com (Ann Smith)"),
              MailboxList({{"Ann Smith", "ann@example.com"}}));
    EXPECT_EQ(parsed("Jürgen Groß <j@example.de>"), MailboxList({{"Jürgen Groß", "j@example.de"}}));
    EXPECT_EQ(parsed("<odd+tag@[192.0.2.1]>"), MailboxList({{"", "odd+tag@[192.0.2.1]"}}));
    EXPECT_EQ(parsed("\"quoted local\"@example.com"),
              MailboxList({{"", "\"quoted local\"@example.com"}}));
    // International domains go out in their ASCII form.
    EXPECT_EQ(parsed("info@bücher.example"), MailboxList({{"", "info@xn--bcher-kva.example"}}));
}

TEST(AddressList, RefusesWhatIsNoAddressNamingIt)
{
    const QStringList bad = {"",
                             " ,; ",
                             "ann",
                             "ann@",
                             "@example.com",
                             "ann smith@example.com",
                             "ann@exa mple.com",
                             "ann@-example.com",
                             "ann..b@example.com",
                             "<ann@example.com",
                             "\"Doe, John <john@example.org>",
                             "Ann <ann@example.com> trailing",
                             "A <a@example.com> <b@example.com>",
                             "good@example.com, bad@",
                             "jörg@example.de",
                             "\"Only a name\"",
                             QString(70, 'a') + "@example.com",
                             "a@" + QString(250, 'b') + ".com"};
    for (const QString &text : bad) {
        Result<MailboxList> result = AddressList::parse(text);
        EXPECT_FALSE(result.status.ok()) << text.toStdString();
        EXPECT_EQ(result.status.kind, StatusKind::Address) << text.toStdString();
    }
    const Result<MailboxList> oneBad = AddressList::parse("good@example.com, bad@");
    EXPECT_TRUE(oneBad.status.description.contains("\"bad@\""))
            << oneBad.status.description.toStdString();
}

TEST(AddressList, RefusesLineBreaksControlsAndBrokenText)
{
    const QStringList injected = {"ann@example.com\r\nBcc: all@example.com",
                                  "ann@example.com\nBcc: all@example.com",
                                  "Ann\r <ann@example.com>",
                                  QString("ann@example.com") + QChar(0),
                                  "Ann\x01 <ann@example.com>",
                                  QString("Ann") + QChar(0x2028) + "<ann@example.com>",
                                  QString("Ann") + QChar(0xD800) + " <ann@example.com>"};
    for (const QString &text : injected) {
        const Result<MailboxList> result = AddressList::parse(text);
        EXPECT_EQ(result.status.kind, StatusKind::HeaderInjection) << text.toStdString();
        EXPECT_FALSE(result.status.description.contains('\n'));
    }
    EXPECT_FALSE(AddressList::parseUtf8("J\xc3 <j@example.de>").status.ok());
    EXPECT_FALSE(AddressList::parseUtf8("J\xed\xa0\x80 <j@example.de>").status.ok());
    EXPECT_FALSE(AddressList::parseUtf8("J\xc0\xaf <j@example.de>").status.ok());
    EXPECT_TRUE(AddressList::parseUtf8("J\xc3\xbcrgen <j@example.de>").status.ok());
}

// Found by fuzzing: what the parser accepts must read the same once written as a header.
TEST(AddressList, QuotedTextAndDomainLiteralsSurviveBeingWrittenOut)
{
    // A quoted local part keeps its escapes: "a\\b" (a backslash) is not "a\b" (a b).
    EXPECT_EQ(parsed(R"("a\\b"@example.com)"), MailboxList({{"", R"("a\\b"@example.com)"}}));
    EXPECT_EQ(parsed(R"("a\"b"@example.com)"), MailboxList({{"", R"("a\"b"@example.com)"}}));
    // An escaped quote in a name stays in the name.
    EXPECT_EQ(parsed(R"("Ann \"Nan\" Smith" <ann@example.com>)"),
              MailboxList({{R"(Ann "Nan" Smith)", "ann@example.com"}}));
    // "<", ">", quotes, parentheses and separators inside a domain literal are text, and ">"
    // inside a quoted local part too, written bare or in angle brackets.
    EXPECT_EQ(parsed("a@[x<y]"), MailboxList({{"", "a@[x<y]"}}));
    EXPECT_EQ(parsed("<a@[x<y]>"), MailboxList({{"", "a@[x<y]"}}));
    EXPECT_EQ(parsed(R"(Ann <a@[x>"(,]>)"), MailboxList({{"Ann", R"(a@[x>"(,])"}}));
    EXPECT_EQ(parsed(R"(a@[x">y] (Ann))"), MailboxList({{"Ann", R"(a@[x">y])"}}));
    EXPECT_EQ(parsed(R"(Ann <"a>b\">"@example.com>)"),
              MailboxList({{"Ann", R"("a>b\">"@example.com)"}}));

    const MailboxList lists[] = {parsed(R"("a\\b"@example.com, Ann "Nan" <a@[x<y]>)"),
                                 parsed(R"("Say \"hi\"" <s@example.com>)"),
                                 parsed(R"("a>b"@example.com (Ann), b@[x>"y] (Bea))")};
    for (const MailboxList &list : lists) {
        const QByteArray field = HeaderEncoder::mailboxField("To", list);
        EXPECT_EQ(parsed(QString::fromLatin1(field.mid(4).chopped(2).replace("\r\n", ""))), list);
    }
}

// Whatever comes in, the parser returns, and what it accepts is safe to put in a header.
TEST(AddressList, RandomInputNeverYieldsUnsafeHeaders)
{
    const QString alphabet = QStringLiteral("ab@.<>\"(),; \\[]\r\n\t\x01üé€😀:-+=?");
    QRandomGenerator random(20261207);
    for (int round = 0; round < 20000; ++round) {
        QString text;
        const int length = random.bounded(40);
        for (int i = 0; i < length; ++i)
            text += alphabet.at(random.bounded(int(alphabet.size())));
        const Result<MailboxList> result = AddressList::parse(text);
        if (!result.status.ok())
            continue;
        const QByteArray header = HeaderEncoder::mailboxField("To", result.value);
        for (const QByteArray &line : header.split('\n')) {
            EXPECT_LE(line.size(), HeaderEncoder::maxLineLength + 1);
            EXPECT_FALSE(line.chopped(line.endsWith('\r') ? 1 : 0).contains('\r'));
            EXPECT_FALSE(line.contains('\0'));
        }
        for (const Mailbox &box : result.value)
            for (QChar c : box.address)
                EXPECT_TRUE(c.unicode() > 0x20 && c.unicode() < 0x7f) << text.toStdString();
    }
}

} // namespace
