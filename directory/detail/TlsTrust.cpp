#include "TlsTrust.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <QStringList>

#include <sys/mman.h>
#include <unistd.h>

namespace orvane::directory::detail {

namespace {

// Where the distributions keep the bundle of the system's trusted authorities, the one GnuTLS
// itself was built to trust: Debian and Ubuntu, Fedora, openSUSE, Alpine.
const char *const systemStores[] = {
        "/etc/ssl/certs/ca-certificates.crt",
        "/etc/pki/tls/certs/ca-bundle.crt",
        "/etc/ssl/ca-bundle.pem",
        "/etc/ssl/cert.pem",
};

// A certificate bundle is a few hundred kilobytes; anything far larger is not one.
constexpr qint64 largestFile = 16 * 1024 * 1024;

struct Sources
{
    QStringList files;
    QStringList folders;
};

// The TLS_CACERT and TLS_CACERTDIR lines of one libldap configuration file (ldap.conf(5):
// a keyword, white space, the value; # starts a comment line).
void readConfiguration(const QString &path, Sources &sources)
{
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly) || file.size() > largestFile)
        return;
    for (const QByteArray &raw : file.readAll().split('\n')) {
        const QString line = QString::fromLocal8Bit(raw).trimmed();
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        const qsizetype gap = line.indexOf(QRegularExpression(QStringLiteral("\\s")));
        if (gap < 0)
            continue;
        const QString keyword = line.left(gap).toUpper();
        const QString value = line.mid(gap).trimmed();
        if (keyword == QLatin1String("TLS_CACERT"))
            sources.files.append(value);
        else if (keyword == QLatin1String("TLS_CACERTDIR"))
            sources.folders.append(value);
    }
}

void appendFile(const QString &path, QSet<QString> &seen, QByteArray &pem)
{
    const QFileInfo info(path);
    const QString canonical = info.canonicalFilePath();
    if (canonical.isEmpty() || !info.isFile() || info.size() > largestFile
        || seen.contains(canonical))
        return;
    seen.insert(canonical);
    QFile file(canonical);
    if (!file.open(QIODevice::ReadOnly))
        return;
    const QByteArray text = file.readAll();
    if (!text.contains("-----BEGIN CERTIFICATE-----"))
        return;
    pem += text;
    if (!pem.endsWith('\n'))
        pem += '\n';
}

} // namespace

QByteArray trustedAuthorities(const QString &caFile)
{
    QSet<QString> seen;
    QByteArray pem;
    if (!caFile.isEmpty()) {
        appendFile(caFile, seen, pem);
        return pem;
    }
    for (const char *store : systemStores) {
        if (QFileInfo::exists(QString::fromLatin1(store))) {
            appendFile(QString::fromLatin1(store), seen, pem);
            break;
        }
    }
    Sources sources;
    readConfiguration(QStringLiteral("/etc/ldap/ldap.conf"), sources);
    readConfiguration(qEnvironmentVariable("LDAPCONF"), sources);
    const QString home = QDir::homePath();
    readConfiguration(home + QStringLiteral("/ldaprc"), sources);
    readConfiguration(home + QStringLiteral("/.ldaprc"), sources);
    for (const QString &file : std::as_const(sources.files))
        appendFile(file, seen, pem);
    for (const QString &folder : std::as_const(sources.folders)) {
        const QDir dir(folder);
        if (!dir.isAbsolute())
            continue;
        for (const QString &name : dir.entryList(QDir::Files, QDir::Name))
            appendFile(dir.filePath(name), seen, pem);
    }
    return pem;
}

bool useOwnTlsContext(LDAP *ld, const QByteArray &authorities)
{
    // libldap takes the authorities from a file only; a memory file holds them for as long as
    // the context is built, which reads it at once, and leaves nothing on disk.
    const int memory = ::memfd_create("orvane-ldap-trust", MFD_CLOEXEC);
    if (memory < 0)
        return false;
    bool written = true;
    for (qsizetype done = 0; written && done < authorities.size();) {
        const ssize_t n = ::write(memory, authorities.constData() + done,
                                  std::size_t(authorities.size() - done));
        written = n > 0;
        done += n > 0 ? n : 0;
    }
    const QByteArray path = QByteArrayLiteral("/proc/self/fd/") + QByteArray::number(memory);
    const int demand = LDAP_OPT_X_TLS_DEMAND;
    const int tls12 = LDAP_OPT_X_TLS_PROTOCOL_TLS1_2;
    const int isServer = 0;
    bool built = written
                 && ldap_set_option(ld, LDAP_OPT_X_TLS_CACERTFILE, path.constData())
                            == LDAP_OPT_SUCCESS;
    // Set on the handle, not taken from the shared defaults that TLS_REQCERT, TLS_PROTOCOL_MIN
    // and LDAPTLS_REQCERT may have lowered.
    built = built && ldap_set_option(ld, LDAP_OPT_X_TLS_REQUIRE_CERT, &demand) == LDAP_OPT_SUCCESS;
    built = built && ldap_set_option(ld, LDAP_OPT_X_TLS_PROTOCOL_MIN, &tls12) == LDAP_OPT_SUCCESS;
    built = built && ldap_set_option(ld, LDAP_OPT_X_TLS_NEWCTX, &isServer) == LDAP_OPT_SUCCESS;
    // The context holds the certificates now; the handle keeps no path to a closed file.
    ldap_set_option(ld, LDAP_OPT_X_TLS_CACERTFILE, nullptr);
    ::close(memory);
    return built;
}

} // namespace orvane::directory::detail
