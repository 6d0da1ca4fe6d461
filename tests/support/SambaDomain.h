#pragma once

#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>
#include <sys/types.h>

namespace orvane::test {

// A private Samba Active Directory domain controller for integration tests: the domain
// EXAMPLE.TEST, provisioned once by samba_dc.py into a template under the test cache folder
// (ORVANE_TEST_CACHE_DIR), copied into a fresh run folder for every start, served on the fixed
// ports 88, 389, 464, 636, 3268 and 3269 of 127.0.0.1 only, and stopped by its process group.
// Never the system's own samba. Needs root: samba binds ports below 1024.
class SambaDomain
{
public:
    struct Account
    {
        QString name; // sAMAccountName, also the CN under CN=Users
        QString password;

        QString dn() const { return QStringLiteral("CN=%1,%2").arg(name, usersDn); }
        QString upn() const { return name + QStringLiteral("@example.test"); }
        QString principal() const { return name + u'@' + realm; }
    };

    // One seeded entry under OU=People, as samba_dc.py wrote it to people.tsv.
    struct Person
    {
        QString name; // cn, and so AD's name
        QString mail; // empty for about one person in nine
        QString dn;   // as the server spells it, e.g. "CN=Smith\, John,OU=People,..."
    };

    static inline const QString realm = QStringLiteral("EXAMPLE.TEST");
    static inline const QString domain = QStringLiteral("EXAMPLE");
    static inline const QString baseDn = QStringLiteral("DC=example,DC=test");
    static inline const QString peopleDn = QStringLiteral("OU=People,DC=example,DC=test");
    static inline const QString usersDn = QStringLiteral("CN=Users,DC=example,DC=test");

    // What a bind as each account answers (AD's "data NNN" in the diagnostic text): reader
    // binds; the others are refused with 49 and the code noted.
    static inline const Account administrator{QStringLiteral("Administrator"),
                                              QStringLiteral("Adm7-admin-pass!")};
    static inline const Account reader{QStringLiteral("reader"),
                                       QStringLiteral("Rd7-reader-pass!")}; // wrong password: 52e
    static inline const Account disabled{QStringLiteral("disabled"),
                                         QStringLiteral("Rd7-disabled-pass!")}; // 533
    static inline const Account expired{QStringLiteral("expired"),
                                        QStringLiteral("Rd7-expired-pass!")}; // 701
    static inline const Account mustChange{QStringLiteral("mustchange"),
                                           QStringLiteral("Rd7-mustchange-pass!")}; // 773
    static inline const Account lockedOut{QStringLiteral("lockedout"),
                                          QStringLiteral("Rd7-lockedout-pass!")}; // 775
    static inline const Account passwordExpired{QStringLiteral("pwexpired"),
                                                QStringLiteral("Rd7-pwexpired-pass!")}; // 532

    ~SambaDomain();

    // Whether start() can work here at all: samba and Debian's Python installed, running as
    // root, the ports free. False with the reason, so that tests can skip saying why.
    static bool available(QString *why);

    // Provisions the template if needed, copies it, starts samba and waits until LDAP, LDAPS and
    // Kerberos accept connections. False with error() saying why. Without tls, a DC whose
    // administrator switched TLS off: no LDAPS ports, StartTLS taken and then hung up, and a
    // plain simple bind allowed.
    enum class Tls { On, Off };
    bool start(Tls tls = Tls::On);
    // SIGTERM to samba's process group, SIGKILL after five seconds.
    void stop();

    const QString &error() const { return m_error; }
    QString runDir() const { return m_run ? m_run->path() : QString(); }
    QString caFile() const { return runDir() + QStringLiteral("/ca.pem"); }
    // A CA that signed nothing: trusting only it must fail verification.
    QString otherCaFile() const { return runDir() + QStringLiteral("/other-ca.pem"); }
    // For LDAPCONF: names caFile() as TLS_CACERT.
    QString ldapConf() const { return runDir() + QStringLiteral("/ldap.conf"); }
    // For KRB5_CONFIG: the realm's KDC at 127.0.0.1, no DNS look-ups.
    QString krb5Config() const { return runDir() + QStringLiteral("/krb5.conf"); }
    // The DC's log as it is now, authentication auditing included ("Auth: [LDAP,simple bind/TLS]
    // user [EXAMPLE]\[reader@example.test] ..." and "Successful AuthZ: [LDAP,krb5] ...").
    QString logText() const;

    // kinit with the private krb5.conf into cacheFile (a FILE: ccache); the password on stdin,
    // options before the principal (e.g. "-l", "5s").
    bool kinit(const QString &principal, const QString &password, const QString &cacheFile,
               const QStringList &options = {});

    // Everyone under OU=People, ordered by case-folded name.
    const QList<Person> &people() const { return m_people; }
    // The mail of every person whose name starts with prefix (case-insensitive), those without
    // a mail left out, in the order of people().
    QStringList expectedMails(const QString &prefix) const;

private:
    bool prepareRunFolder(Tls tls);
    bool waitUntilListening(int port);
    bool exitedEarly(int port);
    QString logTail() const;

    std::unique_ptr<QTemporaryDir> m_run;
    std::unique_ptr<QProcess> m_samba;
    pid_t m_group = 0; // samba's PID, and so its process group's
    QList<Person> m_people;
    QString m_error;
};

} // namespace orvane::test
