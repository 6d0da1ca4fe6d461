#include "DirectoryTestData.h"

#include <QDateTime>

#include <algorithm>
#include <random>

namespace orvane::test {

namespace {

// RFC 2849: a value that is not plain ASCII goes base64-encoded after "::".
QString line(const QString &attribute, const QString &value)
{
    bool ascii = true;
    for (const QChar c : value)
        ascii = ascii && c.unicode() >= 0x20 && c.unicode() < 0x7f;
    if (ascii)
        return QStringLiteral("%1: %2\n").arg(attribute, value);
    return QStringLiteral("%1:: %2\n")
            .arg(attribute, QString::fromLatin1(value.toUtf8().toBase64()));
}

} // namespace

QString DirectoryTestData::ldif() const
{
    const QString dc = suffix.section(u',', 0, 0).section(u'=', 1);
    QString out = QStringLiteral("dn: %1\nobjectClass: dcObject\nobjectClass: organization\n"
                                 "dc: %2\no: %2 organisation\n\n"
                                 "dn: %3\nobjectClass: organizationalUnit\nou: people\n\n"
                                 "dn: %4\nobjectClass: inetOrgPerson\ncn: reader\nsn: reader\n"
                                 "userPassword: %5\n\n")
                          .arg(suffix, dc, peopleDn(), readerDn(), QLatin1String(readerPassword));
    for (const Person &p : people) {
        out += line("dn", QStringLiteral("cn=%1,%2").arg(p.cn, peopleDn()))
               + QStringLiteral("objectClass: inetOrgPerson\n") + line("cn", p.cn)
               + line("sn", p.sn);
        for (const QString &mail : p.mails)
            out += QStringLiteral("mail: %1\n").arg(mail);
        if (!p.createTimestamp.isEmpty())
            out += QStringLiteral("createTimestamp: %1\n").arg(p.createTimestamp);
        out += u'\n';
    }
    return out;
}

QStringList DirectoryTestData::expectedMails(const QString &prefix) const
{
    std::vector<const Person *> matching;
    for (const Person &p : people) {
        if (!p.mails.isEmpty()
            && (p.cn.startsWith(prefix, Qt::CaseInsensitive)
                || p.sn.startsWith(prefix, Qt::CaseInsensitive)))
            matching.push_back(&p);
    }
    std::stable_sort(matching.begin(), matching.end(), [](const Person *a, const Person *b) {
        return a->cn.compare(b->cn, Qt::CaseInsensitive) < 0;
    });
    QStringList mails;
    for (const Person *p : matching)
        mails.append(p->mails.first());
    return mails;
}

DirectoryTestData DirectoryTestData::example()
{
    DirectoryTestData data;
    data.suffix = QStringLiteral("dc=example,dc=test");
    const QStringList families = {"Smith", "Jones", "Brown", "Taylor", "Wilson", "Müller"};
    const int counts[] = {1200, 900, 900, 800, 800, 600};
    for (qsizetype f = 0; f < families.size(); ++f) {
        for (int i = 0; i < counts[f]; ++i) {
            Person p;
            const QString number = QStringLiteral("%1").arg(i, 4, 10, QLatin1Char('0'));
            // Some names in lower case: the order must not depend on case.
            p.cn = (i % 7 == 3 ? families[f].toLower() : families[f]) + u' ' + number;
            p.sn = families[f];
            p.createTimestamp = QStringLiteral("20200101000000Z");
            if (i % 9 != 4)
                p.mails.append(
                        QStringLiteral("%1.%2@example.test").arg(families[f].toLower(), number));
            data.people.push_back(p);
        }
    }
    data.people[10].mails = QStringList{"shared@example.test"};
    data.people[20].mails = QStringList{"shared@example.test"};
    data.people[30].mails = QStringList{"first@example.test", "second@example.test"};
    std::mt19937 random(4);
    std::shuffle(data.people.begin(), data.people.end(), random);
    return data;
}

DirectoryTestData DirectoryTestData::sorted()
{
    DirectoryTestData data;
    data.suffix = QStringLiteral("dc=sorted,dc=test");
    const QDateTime start(QDate(2020, 1, 1), QTime(0, 0), Qt::UTC);
    const int count = 1500;
    for (int i = 0; i < count; ++i) {
        Person p;
        p.cn = QStringLiteral("Person %1").arg(i, 4, 10, QLatin1Char('0'));
        p.sn = QStringLiteral("Person");
        p.mails.append(QStringLiteral("person.%1@sorted.test").arg(i, 4, 10, QLatin1Char('0')));
        p.createTimestamp
                = start.addSecs(60 * (count - i)).toString(QStringLiteral("yyyyMMddHHmmss'Z'"));
        data.people.push_back(p);
    }
    std::mt19937 random(5);
    std::shuffle(data.people.begin(), data.people.end(), random);
    return data;
}

} // namespace orvane::test
