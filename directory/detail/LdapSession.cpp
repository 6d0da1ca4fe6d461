#include "LdapSession.h"

#include "TlsDiagnosis.h"
#include "TlsTrust.h"

#include <algorithm>
#include <cstring>
#include <sasl/sasl.h>
#include <string_view>
#include <sys/time.h>
#include <thread>

namespace orvane::directory::detail {

using form::Result;
using form::Status;

namespace {

timeval toTimeval(std::chrono::microseconds duration)
{
    if (duration.count() < 0)
        duration = std::chrono::microseconds(0);
    timeval tv{};
    tv.tv_sec = static_cast<time_t>(duration.count() / 1000000);
    tv.tv_usec = static_cast<suseconds_t>(duration.count() % 1000000);
    return tv;
}

QString textOf(const char *text)
{
    return text ? QString::fromUtf8(text) : QString();
}

} // namespace

LdapSession::LdapSession(FailureContext context)
    : m_context(std::move(context))
{}

QString LdapSession::diagnostic() const
{
    char *text = nullptr;
    ldap_get_option(m_ld.get(), LDAP_OPT_DIAGNOSTIC_MESSAGE, &text);
    const LdapText owned(text);
    return textOf(text);
}

Deadline LdapSession::deadlineFromNow() const
{
    if (m_context.timeout.count() <= 0)
        return std::nullopt;
    return Clock::now() + m_context.timeout;
}

Status LdapSession::failure(int rc) const
{
    // The watchdog's shut-down is what made the call fail.
    if (m_watch.cutOff())
        return timedOut(QString());
    return ldapFailure(rc, diagnostic(), QString(), m_context);
}

Status LdapSession::timedOut(const QString &what) const
{
    return ldapFailure(LDAP_TIMEOUT, what, QString(), m_context);
}

Status LdapSession::resultStatus(LDAPMessage *result, LdapControlsPtr *controls) const
{
    int rc = LDAP_SUCCESS;
    char *matched = nullptr;
    char *diagnostic = nullptr;
    char **referralUrls = nullptr;
    LDAPControl **serverControls = nullptr;
    const int parsed = ldap_parse_result(m_ld.get(), result, &rc, &matched, &diagnostic,
                                         &referralUrls, controls ? &serverControls : nullptr, 0);
    const LdapText ownedMatched(matched);
    const LdapText ownedDiagnostic(diagnostic);
    const LdapTexts ownedReferrals(referralUrls);
    if (controls)
        controls->reset(serverControls);
    if (parsed != LDAP_SUCCESS)
        return failure(parsed);
    if (rc == LDAP_SUCCESS)
        return Status::success();
    QStringList referrals;
    for (char **url = referralUrls; url && *url; ++url)
        referrals.append(QString::fromUtf8(*url));
    return ldapFailure(rc, textOf(diagnostic), textOf(matched), m_context, referrals);
}

Result<LdapMessagePtr> LdapSession::next(int msgid, const Deadline &deadline)
{
    timeval tv{};
    timeval *wait = nullptr;
    if (deadline) {
        tv = toTimeval(
                std::chrono::duration_cast<std::chrono::microseconds>(*deadline - Clock::now()));
        wait = &tv;
    }
    LDAPMessage *raw = nullptr;
    const int type = ldap_result(m_ld.get(), msgid, LDAP_MSG_ONE, wait, &raw);
    LdapMessagePtr message(raw);
    if (type == 0) {
        ldap_abandon_ext(m_ld.get(), msgid, nullptr, nullptr);
        return timedOut(QString());
    }
    if (type < 0) {
        int rc = LDAP_OTHER;
        ldap_get_option(m_ld.get(), LDAP_OPT_RESULT_CODE, &rc);
        return failure(rc);
    }
    return {Status::success(), std::move(message)};
}

QByteArray LdapSession::uri() const
{
    return QStringLiteral("%1://%2:%3")
            .arg(m_tlsFromStart ? QLatin1String("ldaps") : QLatin1String("ldap"), m_context.host)
            .arg(m_context.port)
            .toUtf8();
}

Result<std::shared_ptr<LdapSession>> LdapSession::open(const Query &query,
                                                       const Credentials &credentials,
                                                       const LdapProviderOptions &options,
                                                       std::chrono::milliseconds timeout)
{
    auto connected = connect(query, options, timeout);
    if (!connected.ok())
        return connected.status;
    std::shared_ptr<LdapSession> created = connected.value;
    auto offers = created->readOffers();
    if (!offers.ok())
        return offers.status;
    created->m_context.startTlsOffered = offers.value.startTls;
    // With no user name and no password the user's own Kerberos ticket signs in, as a desktop
    // in the domain would. On a plain port its security layer signs and seals the connection:
    // Active Directory and Samba refuse that layer over TLS, and need no TLS beside it.
    bool kerberos = false;
    if (credentials.user.isEmpty() && credentials.password.isEmpty() && offers.value.gssapi) {
        auto ticket = created->bindKerberos();
        if (!ticket.ok())
            return ticket.status;
        kerberos = ticket.value;
    }
    if (!kerberos) {
        // RFC 4513 section 3: StartTLS before the bind, so that no password and no search
        // goes over the network in the clear where the server can do better. Without a ticket
        // the bind is anonymous.
        if (!created->m_context.tls) {
            const Result<Upgrade> upgrade = created->startTls(options, offers.value.startTls);
            if (!upgrade.ok())
                return upgrade.status;
            if (upgrade.value == Upgrade::HungUp) {
                // As where StartTLS is refused: the server does not list it, and what it took
                // it could not carry out. A new connection binds as it always did.
                auto plain = connect(query, options, timeout);
                if (!plain.ok())
                    return plain.status;
                plain.value->m_activeDirectory = created->m_activeDirectory;
                created = std::move(plain.value);
            }
        }
        if (Status s = created->bindSimple(credentials); !s.ok())
            return s;
    }
    created->m_context.bound = true;
    return {Status::success(), std::move(created)};
}

Result<std::shared_ptr<LdapSession>> LdapSession::connect(const Query &query,
                                                          const LdapProviderOptions &options,
                                                          std::chrono::milliseconds timeout)
{
    const bool tls = options.portRule && options.portRule(query.port) == TransportMode::Tls;
    FailureContext context{query.host, query.port, query.baseDn, timeout, tls};
    std::shared_ptr<LdapSession> created(new LdapSession(context));
    created->m_tlsFromStart = tls;
    LDAP *raw = nullptr;
    int rc = ldap_initialize(&raw, created->uri().constData());
    created->m_ld.reset(raw);
    if (rc != LDAP_SUCCESS || !raw)
        return ldapFailure(rc == LDAP_SUCCESS ? LDAP_PARAM_ERROR : rc, QString(), QString(),
                           context);
    LDAP *ld = raw;
    created->m_watch.attach(ld);
    // The TCP connect waits no longer than the time-out either.
    auto connectLimit = options.connectTimeout;
    if (timeout.count() > 0)
        connectLimit = std::min(connectLimit, timeout);
    const int version = LDAP_VERSION3;
    const timeval connectTimeout = toTimeval(connectLimit);
    ldap_set_option(ld, LDAP_OPT_PROTOCOL_VERSION, &version);
    ldap_set_option(ld, LDAP_OPT_REFERRALS, LDAP_OPT_OFF);
    ldap_set_option(ld, LDAP_OPT_NETWORK_TIMEOUT, &connectTimeout);
    if (tls) {
        if (Status s = created->prepareTls(options); !s.ok())
            return s;
    }
    {
        // The handshake on a TLS port has the whole time-out, as every later step has.
        const auto step = created->watch(
                Clock::now() + (timeout.count() > 0 ? timeout : options.connectTimeout));
        rc = ldap_connect(ld);
    }
    if (rc != LDAP_SUCCESS) {
        if (created->m_watch.cutOff() || rc == LDAP_TIMEOUT)
            return created->timedOut(tls ? QStringLiteral("no answer to the TLS handshake")
                                         : QString());
        // Bytes from the server mean the connection stood and the TLS handshake failed.
        if (tls && created->m_watch.bytesRead() > 0)
            return created->handshakeFailure(rc, false, 0, options);
        return created->failure(rc);
    }
    // libldap reads every message with two reads, its header and then the rest, after a poll:
    // three system calls an entry, as many as the entries themselves cost to decode. A
    // read-ahead buffer under the connection (below TLS or a security layer, which read
    // through it) takes whatever the socket holds in one read, and libldap polls only when
    // that buffer is empty.
    Sockbuf *socket = nullptr;
    if (ldap_get_option(ld, LDAP_OPT_SOCKBUF, &socket) == LDAP_OPT_SUCCESS && socket)
        ber_sockbuf_add_io(socket, &ber_sockbuf_io_readahead, LBER_SBIOD_LEVEL_PROVIDER, nullptr);
    return {Status::success(), std::move(created)};
}

Result<LdapSession::Offers> LdapSession::readOffers()
{
    // RFC 4512 section 5.1: the root DSE names the extended operations and SASL mechanisms the
    // server supports; anyone may usually read it before binding.
    char supportedExtension[] = "supportedExtension";
    char supportedMechanisms[] = "supportedSASLMechanisms";
    char supportedCapabilities[] = "supportedCapabilities";
    char *attributes[] = {supportedExtension, supportedMechanisms, supportedCapabilities, nullptr};
    int msgid = -1;
    const int rc = ldap_search_ext(m_ld.get(), "", LDAP_SCOPE_BASE, "(objectClass=*)", attributes,
                                   0, nullptr, nullptr, nullptr, 1, &msgid);
    if (rc != LDAP_SUCCESS)
        return failure(rc);
    const Deadline deadline = deadlineFromNow();
    const auto step = watch(deadline);
    Offers offers;
    for (;;) {
        auto answer = next(msgid, deadline);
        if (!answer.ok())
            return answer.status;
        LDAPMessage *message = answer.value.get();
        // A server that hides its root entry offers nothing.
        if (ldap_msgtype(message) == LDAP_RES_SEARCH_RESULT)
            return {Status::success(), offers};
        if (ldap_msgtype(message) != LDAP_RES_SEARCH_ENTRY)
            continue;
        const BerValuesPtr extensions(ldap_get_values_len(m_ld.get(), message, supportedExtension));
        for (berval **value = extensions.get(); value && *value; ++value)
            offers.startTls
                    |= std::string_view((*value)->bv_val, (*value)->bv_len) == LDAP_EXOP_START_TLS;
        const BerValuesPtr mechanisms(
                ldap_get_values_len(m_ld.get(), message, supportedMechanisms));
        for (berval **value = mechanisms.get(); value && *value; ++value)
            offers.gssapi |= std::string_view((*value)->bv_val, (*value)->bv_len) == "GSSAPI";
        // [MS-ADTS] 3.1.1.3.4.3: the capability every Active Directory domain controller lists.
        const BerValuesPtr capabilities(
                ldap_get_values_len(m_ld.get(), message, supportedCapabilities));
        for (berval **value = capabilities.get(); value && *value; ++value)
            m_activeDirectory |= std::string_view((*value)->bv_val, (*value)->bv_len)
                                 == "1.2.840.113556.1.4.800";
    }
}

Status LdapSession::prepareTls(const LdapProviderOptions &options)
{
    m_authorities = trustedAuthorities(options.caFile);
    if (m_authorities.isEmpty())
        return tlsFailure(options.caFile.isEmpty()
                                  ? QStringLiteral("this computer trusts no certificate "
                                                   "authority. Install the package "
                                                   "ca-certificates, or name one as TLS_CACERT "
                                                   "in ldap.conf.")
                                  : QStringLiteral("the CA file \"%1\" holds no certificate.")
                                            .arg(options.caFile),
                          m_context);
    if (!useOwnTlsContext(m_ld.get(), m_authorities))
        return tlsFailure(QStringLiteral("TLS could not be set up: %1").arg(diagnostic()),
                          m_context);
    return Status::success();
}

Status LdapSession::handshakeFailure(int rc, bool startTls, std::uint64_t readBefore,
                                     const LdapProviderOptions &options)
{
    const QString words = diagnostic();
    const QString library = QString::fromUtf8(ldap_err2string(rc))
                            + (words.isEmpty() ? QString() : QStringLiteral(": ") + words);
    // Nothing came back: the server hung up (or was never there), and has no certificate to
    // look at. Otherwise the certificate is read again and checked, within the time left.
    if (m_watch.bytesRead() == readBefore)
        return tlsFailure(QStringLiteral("the server closed the connection during the TLS "
                                         "handshake (%1). Ask the directory's administrator "
                                         "whether it has a certificate.")
                                  .arg(library),
                          m_context);
    auto left = options.connectTimeout;
    if (m_context.timeout.count() > 0)
        left = std::min(left, m_context.timeout);
    QString why = certificateProblem(m_context.host, m_context.port, startTls, m_authorities, left);
    if (why.isEmpty())
        why = QStringLiteral("the TLS handshake failed (%1).").arg(library);
    return tlsFailure(why, m_context);
}

Result<LdapSession::Upgrade> LdapSession::startTls(const LdapProviderOptions &options, bool listed)
{
    // Asked whether listed in the root DSE or not: Samba supports StartTLS without listing it,
    // and a server that does not support it says so in its answer (RFC 4511 section 4.14.2).
    const Result<Status> answer = askStartTls();
    if (!answer.ok())
        return answer.status;
    if (const Status &status = answer.value; !status.ok()) {
        if (!listed)
            return {Status::success(), Upgrade::Refused};
        return tlsFailure(QStringLiteral("the server lists StartTLS, then refused it: %1 Ask the "
                                         "directory's administrator, or use port 636.")
                                  .arg(status.description),
                          m_context);
    }
    m_context.startTlsOffered = true;
    if (Status s = prepareTls(options); !s.ok())
        return s;
    const std::uint64_t readBefore = m_watch.bytesRead();
    int rc = LDAP_SUCCESS;
    {
        const auto step = watch(deadlineFromNow());
        rc = ldap_install_tls(m_ld.get());
    }
    if (rc != LDAP_SUCCESS) {
        if (m_watch.cutOff())
            return timedOut(QStringLiteral("no answer to the TLS handshake after StartTLS"));
        // A server that took StartTLS and hung up without a word (Samba with TLS switched off
        // does) is treated as one that refused it, where it never listed it.
        if (m_watch.bytesRead() == readBefore && !listed)
            return {Status::success(), Upgrade::HungUp};
        return handshakeFailure(rc, true, readBefore, options);
    }
    m_context.tls = true;
    return {Status::success(), Upgrade::Done};
}

Result<Status> LdapSession::askStartTls()
{
    // RFC 4511 section 4.14.1 allows no outstanding operation at StartTLS, and slapd counts the
    // root DSE read as outstanding for a moment after it has answered it: a client that asks
    // at once gets operationsError. There is none on this side, so it asks again a few times.
    const Deadline deadline = deadlineFromNow();
    const auto step = watch(deadline);
    std::chrono::milliseconds pause(1);
    for (int tries = 1;; ++tries) {
        int msgid = -1;
        if (const int rc = ldap_start_tls(m_ld.get(), nullptr, nullptr, &msgid); rc != LDAP_SUCCESS)
            return failure(rc);
        auto result = next(msgid, deadline);
        if (!result.ok())
            return result.status;
        Status answer = resultStatus(result.value.get());
        if (answer.nativeCode != LDAP_OPERATIONS_ERROR || !pauseBeforeRetry(tries, deadline, pause))
            return {Status::success(), std::move(answer)};
    }
}

bool LdapSession::pauseBeforeRetry(int tries, const Deadline &deadline,
                                   std::chrono::milliseconds &pause)
{
    if (tries >= maxTries || (deadline && Clock::now() + pause >= *deadline))
        return false;
    std::this_thread::sleep_for(pause);
    pause = std::min(pause * 2, std::chrono::milliseconds(100));
    return true;
}

Status LdapSession::bindSimple(const Credentials &credentials)
{
    // RFC 4513 section 5.1: a simple bind; an empty name and password is an anonymous bind.
    m_context.anonymous = credentials.user.isEmpty();
    const QByteArray user = credentials.user.toUtf8();
    QByteArray password = credentials.password.toUtf8();
    berval secret{static_cast<ber_len_t>(password.size()), password.data()};
    int msgid = -1;
    const int rc = ldap_sasl_bind(m_ld.get(), user.constData(), LDAP_SASL_SIMPLE, &secret, nullptr,
                                  nullptr, &msgid);
    password.fill('\0');
    if (rc != LDAP_SUCCESS)
        return failure(rc);
    const Deadline deadline = deadlineFromNow();
    const auto step = watch(deadline);
    auto result = next(msgid, deadline);
    if (!result.ok())
        return result.status;
    return resultStatus(result.value.get());
}

namespace {

// GSSAPI asks for nothing but, at most, an authorisation name: the ticket's own is meant.
int acceptDefaults(LDAP *, unsigned, void *, void *prompts)
{
    for (auto *prompt = static_cast<sasl_interact_t *>(prompts);
         prompt && prompt->id != SASL_CB_LIST_END; ++prompt) {
        const char *answer = prompt->defresult ? prompt->defresult : "";
        prompt->result = answer;
        prompt->len = static_cast<unsigned>(std::strlen(answer));
    }
    return LDAP_SUCCESS;
}

} // namespace

Result<bool> LdapSession::bindKerberos()
{
    // Over TLS the connection is protected already, and Active Directory refuses a GSSAPI
    // security layer on top of it; on a plain connection the layer signs and seals.
    if (m_context.tls) {
        char noLayer[] = "maxssf=0";
        ldap_set_option(m_ld.get(), LDAP_OPT_X_SASL_SECPROPS, noLayer);
    }
    if (m_context.timeout.count() > 0) {
        const timeval limit = toTimeval(m_context.timeout);
        ldap_set_option(m_ld.get(), LDAP_OPT_TIMEOUT, &limit);
    }
    int rc = LDAP_SUCCESS;
    {
        const auto step = watch(deadlineFromNow());
        rc = ldap_sasl_interactive_bind_s(m_ld.get(), nullptr, "GSSAPI", nullptr, nullptr,
                                          LDAP_SASL_QUIET, acceptDefaults, nullptr);
    }
    if (rc == LDAP_SUCCESS)
        return {Status::success(), true};
    const QString text = diagnostic();
    // No ticket at hand: nothing went to the server, and another bind may follow.
    if (kerberosUnavailable(text))
        return {Status::success(), false};
    if (rc == LDAP_SERVER_DOWN || rc == LDAP_TIMEOUT || m_watch.cutOff())
        return failure(rc);
    return kerberosFailure(rc, text, m_context);
}

} // namespace orvane::directory::detail
