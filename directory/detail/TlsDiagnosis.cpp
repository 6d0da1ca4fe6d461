#include "TlsDiagnosis.h"

#include <QDateTime>
#include <QLocale>
#include <QStringList>

// libldap already brings GnuTLS into the process for its own TLS: reading and checking the
// certificate with it costs no library of its own.
#include <arpa/inet.h>
#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <gnutls/gnutls.h>
#include <gnutls/x509.h>
#include <memory>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <type_traits>
#include <unistd.h>
#include <vector>

namespace orvane::directory::detail {

namespace {

using Clock = std::chrono::steady_clock;

struct CertificateFree
{
    void operator()(gnutls_x509_crt_t certificate) const { gnutls_x509_crt_deinit(certificate); }
};
using Certificate = std::unique_ptr<std::remove_pointer_t<gnutls_x509_crt_t>, CertificateFree>;

struct SessionFree
{
    void operator()(gnutls_session_t session) const { gnutls_deinit(session); }
};
using Session = std::unique_ptr<std::remove_pointer_t<gnutls_session_t>, SessionFree>;

struct CredentialsFree
{
    void operator()(gnutls_certificate_credentials_t c) const
    {
        gnutls_certificate_free_credentials(c);
    }
};
using Credentials
        = std::unique_ptr<std::remove_pointer_t<gnutls_certificate_credentials_t>, CredentialsFree>;

struct TrustListFree
{
    void operator()(gnutls_x509_trust_list_t list) const { gnutls_x509_trust_list_deinit(list, 1); }
};
using TrustList = std::unique_ptr<std::remove_pointer_t<gnutls_x509_trust_list_t>, TrustListFree>;

class Socket
{
public:
    explicit Socket(int fd = -1)
        : m_fd(fd)
    {}
    ~Socket()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Socket(const Socket &) = delete;
    Socket &operator=(const Socket &) = delete;
    int fd() const { return m_fd; }

private:
    int m_fd;
};

int remainingMs(Clock::time_point deadline)
{
    const auto left
            = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() > 0 ? int(left.count()) : 0;
}

bool waitFor(int fd, short events, Clock::time_point deadline)
{
    pollfd p{fd, events, 0};
    int rc = 0;
    do {
        rc = ::poll(&p, 1, remainingMs(deadline));
    } while (rc < 0 && errno == EINTR);
    return rc > 0;
}

// A non-blocking TCP connection to host:port, or -1.
int connectTo(const QString &host, int port, Clock::time_point deadline)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *found = nullptr;
    if (::getaddrinfo(host.toUtf8().constData(), QByteArray::number(port).constData(), &hints,
                      &found)
        != 0)
        return -1;
    const std::unique_ptr<addrinfo, void (*)(addrinfo *)> owned(found, ::freeaddrinfo);
    for (addrinfo *a = found; a; a = a->ai_next) {
        const int fd = ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC,
                                a->ai_protocol);
        if (fd < 0)
            continue;
        int error = 0;
        socklen_t size = sizeof error;
        if ((::connect(fd, a->ai_addr, a->ai_addrlen) == 0
             || (errno == EINPROGRESS && waitFor(fd, POLLOUT, deadline)))
            && ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error == 0)
            return fd;
        ::close(fd);
    }
    return -1;
}

// RFC 4511 section 4.14.1: the StartTLS extended request, message 1, and whether the server
// answered it with success.
bool startTls(int fd, Clock::time_point deadline)
{
    static const unsigned char request[] = {
            0x30, 0x1d, 0x02, 0x01, 0x01, 0x77, 0x18, 0x80, 0x16, '1', '.', '3', '.', '6', '.', '1',
            '.',  '4',  '.',  '1',  '.',  '1',  '4',  '6',  '6',  '.', '2', '0', '0', '3', '7'};
    if (::send(fd, request, sizeof request, MSG_NOSIGNAL) != ssize_t(sizeof request))
        return false;
    // The answer is small: a SEQUENCE of the message ID and an [APPLICATION 24] whose first
    // element is the result code.
    unsigned char answer[512];
    std::size_t have = 0;
    while (have < sizeof answer && waitFor(fd, POLLIN, deadline)) {
        const ssize_t n = ::recv(fd, answer + have, sizeof answer - have, 0);
        if (n <= 0)
            return false;
        have += std::size_t(n);
        std::size_t at = 0;
        const auto header = [&](unsigned char tag) {
            if (at + 2 > have || answer[at] != tag)
                return false;
            const unsigned char first = answer[at + 1];
            at += 2 + ((first & 0x80) ? (first & 0x7f) : 0);
            return at <= have;
        };
        if (!header(0x30) || at + 2 > have || answer[at] != 0x02)
            continue;
        at += 2 + answer[at + 1];
        if (!header(0x78) || at + 3 > have)
            continue;
        return answer[at] == 0x0a && answer[at + 1] == 0x01 && answer[at + 2] == 0;
    }
    return false;
}

// The server's certificate chain, read over a handshake that judges nothing.
std::vector<Certificate> peerChain(const QString &host, int port, bool withStartTls,
                                   Clock::time_point deadline)
{
    std::vector<Certificate> chain;
    const Socket socket(connectTo(host, port, deadline));
    if (socket.fd() < 0 || (withStartTls && !startTls(socket.fd(), deadline)))
        return chain;
    gnutls_session_t rawSession = nullptr;
    if (gnutls_init(&rawSession, GNUTLS_CLIENT | GNUTLS_NONBLOCK | GNUTLS_NO_SIGNAL) < 0)
        return chain;
    const Session session(rawSession);
    gnutls_certificate_credentials_t rawCredentials = nullptr;
    if (gnutls_certificate_allocate_credentials(&rawCredentials) < 0)
        return chain;
    const Credentials credentials(rawCredentials);
    const QByteArray name = host.toUtf8();
    in6_addr address{};
    if (inet_pton(AF_INET, name.constData(), &address) != 1
        && inet_pton(AF_INET6, name.constData(), &address) != 1)
        gnutls_server_name_set(rawSession, GNUTLS_NAME_DNS, name.constData(), name.size());
    gnutls_set_default_priority(rawSession);
    gnutls_credentials_set(rawSession, GNUTLS_CRD_CERTIFICATE, rawCredentials);
    gnutls_transport_set_int(rawSession, socket.fd());
    int rc = 0;
    while ((rc = gnutls_handshake(rawSession)) < 0 && !gnutls_error_is_fatal(rc)) {
        const short direction = gnutls_record_get_direction(rawSession) ? POLLOUT : POLLIN;
        if (!waitFor(socket.fd(), direction, deadline))
            return chain;
    }
    if (rc < 0)
        return chain;
    unsigned count = 0;
    const gnutls_datum_t *der = gnutls_certificate_get_peers(rawSession, &count);
    for (unsigned i = 0; der && i < count; ++i) {
        gnutls_x509_crt_t raw = nullptr;
        if (gnutls_x509_crt_init(&raw) < 0)
            break;
        Certificate certificate(raw);
        if (gnutls_x509_crt_import(raw, &der[i], GNUTLS_X509_FMT_DER) < 0)
            break;
        chain.push_back(std::move(certificate));
    }
    gnutls_bye(rawSession, GNUTLS_SHUT_WR);
    return chain;
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

// GnuTLS's verdict on the chain against the authorities: 0 when it verifies.
unsigned verifyChain(const std::vector<Certificate> &chain, const QByteArray &authorities)
{
    gnutls_x509_trust_list_t rawList = nullptr;
    if (gnutls_x509_trust_list_init(&rawList, 0) < 0)
        return GNUTLS_CERT_INVALID;
    const TrustList list(rawList);
    const gnutls_datum_t pem{
            reinterpret_cast<unsigned char *>(const_cast<char *>(authorities.data())),
            unsigned(authorities.size())};
    if (!authorities.isEmpty())
        gnutls_x509_trust_list_add_trust_mem(rawList, &pem, nullptr, GNUTLS_X509_FMT_PEM, 0, 0);
    std::vector<gnutls_x509_crt_t> certificates;
    for (const Certificate &c : chain)
        certificates.push_back(c.get());
    unsigned status = 0;
    if (gnutls_x509_trust_list_verify_crt(rawList, certificates.data(),
                                          unsigned(certificates.size()), 0, &status, nullptr)
        < 0)
        return GNUTLS_CERT_INVALID;
    return status;
}

QString statusWords(unsigned status)
{
    gnutls_datum_t text{};
    if (gnutls_certificate_verification_status_print(status, GNUTLS_CRT_X509, &text, 0) < 0)
        return QString();
    const QString words
            = QString::fromUtf8(reinterpret_cast<const char *>(text.data), qsizetype(text.size))
                      .trimmed();
    gnutls_free(text.data);
    return words;
}

} // namespace

QString nameCheckedFor(const QString &host)
{
    // libldap puts this machine's canonical name (gethostname, resolved) in the place of
    // "localhost", and checks the certificate against that.
    if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) != 0)
        return host;
    char own[256] = {};
    if (::gethostname(own, sizeof own - 1) != 0)
        return host;
    addrinfo hints{};
    hints.ai_flags = AI_CANONNAME;
    addrinfo *found = nullptr;
    QString name = QString::fromLocal8Bit(own);
    if (::getaddrinfo(own, nullptr, &hints, &found) == 0) {
        if (found && found->ai_canonname)
            name = QString::fromLocal8Bit(found->ai_canonname);
        ::freeaddrinfo(found);
    }
    return name;
}

QString certificateProblem(const QString &host, int port, bool startTls,
                           const QByteArray &authorities, std::chrono::milliseconds timeout)
{
    const std::vector<Certificate> chain = peerChain(host, port, startTls, Clock::now() + timeout);
    if (chain.empty())
        return QString();
    gnutls_x509_crt_t leaf = chain.front().get();
    const time_t now = std::time(nullptr);
    if (const time_t expiry = gnutls_x509_crt_get_expiration_time(leaf); expiry < now)
        return QStringLiteral("its certificate expired on %1. The server's administrator must "
                              "renew it.")
                .arg(dateText(expiry));
    if (const time_t start = gnutls_x509_crt_get_activation_time(leaf); start > now)
        return QStringLiteral("its certificate is valid only from %1. Check this computer's date "
                              "and time.")
                .arg(dateText(start));
    // RFC 6125: DNS names and IP addresses of the subject alternative names, the common name
    // only where there are none.
    const QString checked = nameCheckedFor(host);
    if (!gnutls_x509_crt_check_hostname(leaf, checked.toUtf8().constData()))
        return QStringLiteral("its certificate is issued to %1, not to \"%2\". Type the server's "
                              "name as its certificate gives it.")
                .arg(certificateNames(leaf), checked);
    const unsigned status = verifyChain(chain, authorities);
    if (status == 0)
        return QString();
    if (status & GNUTLS_CERT_SIGNER_NOT_FOUND) {
        if (chain.size() == 1 && gnutls_x509_crt_check_issuer(leaf, leaf))
            return QStringLiteral("its certificate is self-signed, and this computer does not "
                                  "trust it. Ask the directory's administrator for a "
                                  "certificate from a certificate authority, or add this one "
                                  "to the system's trust store.");
        const QString issuer = issuerName(chain.back().get());
        return QStringLiteral("its certificate was issued by \"%1\", which this computer does "
                              "not trust. Add that certificate authority to the system's trust "
                              "store (or name it as TLS_CACERT in ldap.conf), or ask the "
                              "directory's administrator.")
                .arg(issuer.isEmpty() ? certificateNames(leaf) : issuer);
    }
    const QString words = statusWords(status);
    return words.isEmpty() ? QString()
                           : QStringLiteral("its certificate did not verify: %1").arg(words);
}

} // namespace orvane::directory::detail
