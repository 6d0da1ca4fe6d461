#include "TlsDiagnosis.h"

#include "LdapHandles.h"

#include <QDateTime>
#include <QLocale>
#include <QStringList>
#include <QSysInfo>

// libldap already brings GnuTLS into the process for its own TLS: reading the certificate with
// it costs no library of its own.
#include <arpa/inet.h>
#include <ctime>
#include <gnutls/gnutls.h>
#include <gnutls/x509.h>
#include <memory>
#include <sys/time.h>
#include <type_traits>

namespace orvane::directory::detail {

namespace {

struct CertificateFree
{
    void operator()(gnutls_x509_crt_t certificate) const { gnutls_x509_crt_deinit(certificate); }
};
using Certificate = std::unique_ptr<std::remove_pointer_t<gnutls_x509_crt_t>, CertificateFree>;

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

Certificate parse(const QByteArray &der)
{
    gnutls_x509_crt_t raw = nullptr;
    if (der.isEmpty() || gnutls_x509_crt_init(&raw) < 0)
        return nullptr;
    Certificate certificate(raw);
    const gnutls_datum_t data{reinterpret_cast<unsigned char *>(const_cast<char *>(der.data())),
                              static_cast<unsigned>(der.size())};
    if (gnutls_x509_crt_import(certificate.get(), &data, GNUTLS_X509_FMT_DER) < 0)
        return nullptr;
    return certificate;
}

// The DNS names and addresses the certificate is issued to, quoted, in its own order.
QString certificateNames(gnutls_x509_crt_t certificate)
{
    QStringList names;
    for (unsigned i = 0;; ++i) {
        char value[256];
        size_t size = sizeof value;
        const int type
                = gnutls_x509_crt_get_subject_alt_name(certificate, i, value, &size, nullptr);
        if (type == GNUTLS_E_REQUESTED_DATA_NOT_AVAILABLE)
            break;
        if (type == GNUTLS_SAN_DNSNAME) {
            names.append(QString::fromUtf8(value, qsizetype(size)));
        } else if (type == GNUTLS_SAN_IPADDRESS && (size == 4 || size == 16)) {
            char text[INET6_ADDRSTRLEN] = {};
            inet_ntop(size == 4 ? AF_INET : AF_INET6, value, text, sizeof text);
            names.append(QString::fromLatin1(text));
        }
    }
    if (names.isEmpty()) {
        char value[256];
        size_t size = sizeof value;
        if (gnutls_x509_crt_get_dn_by_oid(certificate, GNUTLS_OID_X520_COMMON_NAME, 0, 0, value,
                                          &size)
            == 0)
            names.append(QString::fromUtf8(value, qsizetype(size)));
    }
    for (QString &name : names)
        name = u'"' + name + u'"';
    return names.isEmpty() ? QStringLiteral("no name at all") : names.join(QStringLiteral(", "));
}

QString issuerName(gnutls_x509_crt_t certificate)
{
    char value[256];
    size_t size = sizeof value;
    if (gnutls_x509_crt_get_issuer_dn_by_oid(certificate, GNUTLS_OID_X520_COMMON_NAME, 0, 0, value,
                                             &size)
        == 0)
        return QString::fromUtf8(value, qsizetype(size));
    size = sizeof value;
    if (gnutls_x509_crt_get_issuer_dn(certificate, value, &size) == 0)
        return QString::fromUtf8(value, qsizetype(size));
    return QString();
}

QString dateText(time_t when)
{
    return QLocale().toString(QDateTime::fromSecsSinceEpoch(when), QLocale::ShortFormat);
}

} // namespace

QString certificateProblem(const QByteArray &uri, bool startTls, const QString &host,
                           const LdapProviderOptions &options)
{
    const Certificate certificate = parse(peerCertificate(uri, startTls, options));
    if (!certificate)
        return QString();
    const time_t now = std::time(nullptr);
    if (const time_t expiry = gnutls_x509_crt_get_expiration_time(certificate.get()); expiry < now)
        return QStringLiteral("its certificate expired on %1. The server's administrator must "
                              "renew it.")
                .arg(dateText(expiry));
    if (const time_t start = gnutls_x509_crt_get_activation_time(certificate.get()); start > now)
        return QStringLiteral("its certificate is valid only from %1. Check this computer's date "
                              "and time.")
                .arg(dateText(start));
    // libldap checks a certificate for "localhost" against this machine's own name.
    const QString checked = host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0
                                    ? QSysInfo::machineHostName()
                                    : host;
    // RFC 6125: DNS names and IP addresses of the subject alternative names, the common name
    // only where there are none.
    if (!gnutls_x509_crt_check_hostname(certificate.get(), checked.toUtf8().constData()))
        return QStringLiteral("its certificate is issued to %1, not to \"%2\". Type the server's "
                              "name as its certificate gives it.")
                .arg(certificateNames(certificate.get()), checked);
    const QString issuer = issuerName(certificate.get());
    return QStringLiteral("its certificate was issued by \"%1\", which this computer does not "
                          "trust. Add that certificate authority to the system's trust store "
                          "(or name it as TLS_CACERT in ldap.conf), or ask the directory's "
                          "administrator.")
            .arg(issuer.isEmpty() ? certificateNames(certificate.get()) : issuer);
}

} // namespace orvane::directory::detail
