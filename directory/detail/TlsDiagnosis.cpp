#include "TlsDiagnosis.h"

#include "LdapHandles.h"

#include <QDateTime>
#include <QHostAddress>
#include <QLocale>
#include <QSslCertificate>
#include <QStringList>
#include <QSysInfo>

#include <sys/time.h>

namespace orvane::directory::detail {

namespace {

// The server's certificate in DER, read over a connection that verifies nothing.
QByteArray peerCertificate(const QByteArray &uri, bool startTls, const LdapProviderOptions &options)
{
    LDAP *raw = nullptr;
    if (ldap_initialize(&raw, uri.constData()) != LDAP_SUCCESS || !raw)
        return QByteArray();
    const LdapHandle ld(raw);
    const int version = LDAP_VERSION3;
    const int allow = LDAP_OPT_X_TLS_ALLOW;
    const int isServer = 0;
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(options.connectTimeout);
    const timeval limit{static_cast<time_t>(std::max<long long>(1, seconds.count())), 0};
    ldap_set_option(ld.get(), LDAP_OPT_PROTOCOL_VERSION, &version);
    ldap_set_option(ld.get(), LDAP_OPT_NETWORK_TIMEOUT, &limit);
    ldap_set_option(ld.get(), LDAP_OPT_TIMEOUT, &limit);
    ldap_set_option(ld.get(), LDAP_OPT_X_TLS_REQUIRE_CERT, &allow);
    if (ldap_set_option(ld.get(), LDAP_OPT_X_TLS_NEWCTX, &isServer) != LDAP_OPT_SUCCESS)
        return QByteArray();
    const int rc = startTls ? ldap_start_tls_s(ld.get(), nullptr, nullptr) : ldap_connect(ld.get());
    if (rc != LDAP_SUCCESS)
        return QByteArray();
    berval der{};
    if (ldap_get_option(ld.get(), LDAP_OPT_X_TLS_PEERCERT, &der) != LDAP_OPT_SUCCESS || !der.bv_val)
        return QByteArray();
    QByteArray bytes(der.bv_val, qsizetype(der.bv_len));
    ber_memfree(der.bv_val);
    return bytes;
}

// RFC 6125 section 6.4.3: a wildcard stands for the whole leftmost label only.
bool dnsNameMatches(const QString &pattern, const QString &host)
{
    if (pattern.compare(host, Qt::CaseInsensitive) == 0)
        return true;
    if (!pattern.startsWith(QLatin1String("*.")))
        return false;
    const qsizetype dot = host.indexOf(u'.');
    return dot > 0 && host.mid(dot).compare(pattern.mid(1), Qt::CaseInsensitive) == 0;
}

bool nameMatches(const QSslCertificate &certificate, const QString &host)
{
    const auto names = certificate.subjectAlternativeNames();
    const QHostAddress address(host);
    if (!address.isNull()) {
        for (const QString &ip : names.values(QSsl::IpAddressEntry)) {
            if (QHostAddress(ip).isEqual(address))
                return true;
        }
        return false;
    }
    QStringList dnsNames = names.values(QSsl::DnsEntry);
    // RFC 6125 section 6.4.4: the common name counts only where there is no DNS name.
    if (dnsNames.isEmpty())
        dnsNames = certificate.subjectInfo(QSslCertificate::CommonName);
    for (const QString &name : std::as_const(dnsNames)) {
        if (dnsNameMatches(name, host))
            return true;
    }
    return false;
}

QString certificateNames(const QSslCertificate &certificate)
{
    const auto alternatives = certificate.subjectAlternativeNames();
    QStringList names
            = alternatives.values(QSsl::DnsEntry) + alternatives.values(QSsl::IpAddressEntry);
    if (names.isEmpty())
        names = certificate.subjectInfo(QSslCertificate::CommonName);
    for (QString &name : names)
        name = u'"' + name + u'"';
    return names.isEmpty() ? QStringLiteral("no name at all") : names.join(QStringLiteral(", "));
}

QString dateText(const QDateTime &when)
{
    return QLocale().toString(when.toLocalTime(), QLocale::ShortFormat);
}

} // namespace

QString certificateProblem(const QByteArray &uri, bool startTls, const QString &host,
                           const LdapProviderOptions &options)
{
    const QByteArray der = peerCertificate(uri, startTls, options);
    const QSslCertificate certificate(der, QSsl::Der);
    if (der.isEmpty() || certificate.isNull())
        return QString();
    const QDateTime now = QDateTime::currentDateTimeUtc();
    if (certificate.expiryDate() < now)
        return QStringLiteral("its certificate expired on %1. The server's administrator must "
                              "renew it.")
                .arg(dateText(certificate.expiryDate()));
    if (certificate.effectiveDate() > now)
        return QStringLiteral("its certificate is valid only from %1. Check this computer's date "
                              "and time.")
                .arg(dateText(certificate.effectiveDate()));
    // libldap checks a certificate for "localhost" against this machine's own name.
    const QString checked = host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0
                                    ? QSysInfo::machineHostName()
                                    : host;
    if (!nameMatches(certificate, checked))
        return QStringLiteral("its certificate is issued to %1, not to \"%2\". Type the server's "
                              "name as its certificate gives it.")
                .arg(certificateNames(certificate), checked);
    const QString issuer = certificate.issuerDisplayName();
    return QStringLiteral("its certificate was issued by \"%1\", which this computer does not "
                          "trust. Add that certificate authority to the system's trust store "
                          "(or name it as TLS_CACERT in ldap.conf), or ask the directory's "
                          "administrator.")
            .arg(issuer.isEmpty() ? certificateNames(certificate) : issuer);
}

} // namespace orvane::directory::detail
