#pragma once

#include <QString>
#include <QStringList>

#include <vector>

namespace orvane::test {

// Generated directory contents for the integration tests, with the answers the tests expect.
struct DirectoryTestData
{
    struct Person
    {
        QString cn;
        QString sn;
        QStringList mails; // none, one, or several (the first is the one listed)
        QString createTimestamp;
    };

    QString suffix;
    std::vector<Person> people; // under ou=people,<suffix>, in the order they are loaded

    static constexpr const char *readerPassword = "Rd7-reader-pass";
    QString readerDn() const { return QStringLiteral("cn=reader,") + suffix; }
    QString peopleDn() const { return QStringLiteral("ou=people,") + suffix; }

    QString ldif() const;
    // The first mail of every person whose cn or sn begins with prefix (as slapd matches
    // 'name', a supertype of both), ordered by cn without regard to case.
    QStringList expectedMails(const QString &prefix) const;

    // 5,200 people: 1,200 "Smith", more than a thousand for one prefix, every ninth without
    // mail, two sharing an address, one with two addresses; loaded in shuffled order.
    static DirectoryTestData example();
    // 1,500 people "Person NNNN" whose createTimestamp runs opposite to their names.
    static DirectoryTestData sorted();
};

} // namespace orvane::test
