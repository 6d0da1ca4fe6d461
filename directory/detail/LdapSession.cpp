#include "LdapSession.h"

#include "TlsDiagnosis.h"

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

LdapSession::LdapSession(LdapHandle ld, FailureContext context)
    : m_ld(std::move(ld))
    , m_context(std::move(context))
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
    return ldapFailure(rc, diagnostic(), QString(), m_context);
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
        return ldapFailure(LDAP_TIMEOUT, QString(), QString(), m_context);
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
    const std::shared_ptr<LdapSession> &created = connected.value;
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
            if (Status s = created->startTls(options, offers.value.startTls); !s.ok())
                return s;
        }
        if (Status s = created->bindSimple(credentials); !s.ok())
            return s;
    }
    created->m_context.bound = true;
    return connected;
}

Result<std::shared_ptr<LdapSession>> LdapSession::connect(const Query &query,
                                                          const LdapProviderOptions &options,
                                                          std::chrono::milliseconds timeout)
{
    const bool tls = options.portRule && options.portRule(query.port) == TransportMode::Tls;
    FailureContext context{query.host, query.port, query.baseDn, timeout, tls};
    std::shared_ptr<LdapSession> created(new LdapSession(LdapHandle(), context));
    created->m_tlsFromStart = tls;
    LDAP *raw = nullptr;
    int rc = ldap_initialize(&raw, created->uri().constData());
    created->m_ld.reset(raw);
    if (rc != LDAP_SUCCESS || !raw)
        return ldapFailure(rc == LDAP_SUCCESS ? LDAP_PARAM_ERROR : rc, QString(), QString(),
                           context);
    LDAP *ld = raw;
    const int version = LDAP_VERSION3;
    const timeval connectTimeout = toTimeval(options.connectTimeout);
    const int demand = LDAP_OPT_X_TLS_DEMAND;
    ldap_set_option(ld, LDAP_OPT_PROTOCOL_VERSION, &version);
    ldap_set_option(ld, LDAP_OPT_REFERRALS, LDAP_OPT_OFF);
    ldap_set_option(ld, LDAP_OPT_NETWORK_TIMEOUT, &connectTimeout);
    ldap_set_option(ld, LDAP_OPT_X_TLS_REQUIRE_CERT, &demand);
    // Without a CA file of the provider's the connection uses libldap's shared TLS context,
    // which trusts what ldap.conf and the system trust store name, as ldapsearch does. A
    // context of its own would start from nothing: it trusts only what is set on the handle.
    if (!options.caFile.isEmpty()) {
        const QByteArray caFile = options.caFile.toLocal8Bit();
        const int isServer = 0;
        ldap_set_option(ld, LDAP_OPT_X_TLS_CACERTFILE, caFile.constData());
        if (ldap_set_option(ld, LDAP_OPT_X_TLS_NEWCTX, &isServer) != LDAP_OPT_SUCCESS)
            return ldapFailure(
                    LDAP_CONNECT_ERROR,
                    QStringLiteral("TLS could not be set up (CA file \"%1\")").arg(options.caFile),
                    QString(), context);
    }
    rc = ldap_connect(ld);
    if (rc != LDAP_SUCCESS) {
        if (tls) {
            if (const QString why = certificateProblem(created->uri(), false, query.host, options);
                !why.isEmpty())
                return tlsFailure(why, context);
        }
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

Status LdapSession::startTls(const LdapProviderOptions &options, bool listed)
{
    // Asked whether listed in the root DSE or not: Samba supports StartTLS without listing it,
    // and a server that does not support it says so in its answer (RFC 4511 section 4.14.2).
    const Result<Status> answer = askStartTls();
    if (!answer.ok())
        return answer.status;
    if (const Status &status = answer.value; !status.ok()) {
        if (!listed)
            return Status::success(); // not offered: the bind goes as it always did
        return tlsFailure(QStringLiteral("the server lists StartTLS, then refused it: %1 Ask the "
                                         "directory's administrator, or use port 636.")
                                  .arg(status.description),
                          m_context);
    }
    m_context.startTlsOffered = true;
    const int rc = ldap_install_tls(m_ld.get());
    if (rc != LDAP_SUCCESS) {
        QString why = certificateProblem(uri(), true, m_context.host, options);
        if (why.isEmpty())
            why = QStringLiteral("the TLS handshake failed (%1). Check that the server's "
                                 "certificate is trusted and issued to that server name.")
                          .arg(QString::fromUtf8(ldap_err2string(rc)));
        return tlsFailure(why, m_context);
    }
    m_context.tls = true;
    return Status::success();
}

Result<Status> LdapSession::askStartTls()
{
    // RFC 4511 section 4.14.1 allows no outstanding operation at StartTLS, and slapd counts the
    // root DSE read as outstanding for a moment after it has answered it: a client that asks
    // at once gets operationsError. There is none on this side, so it asks again a few times.
    const Deadline deadline = deadlineFromNow();
    std::chrono::milliseconds pause(1);
    for (int attempt = 1;; ++attempt) {
        int msgid = -1;
        if (const int rc = ldap_start_tls(m_ld.get(), nullptr, nullptr, &msgid); rc != LDAP_SUCCESS)
            return failure(rc);
        auto result = next(msgid, deadline);
        if (!result.ok())
            return result.status;
        Status answer = resultStatus(result.value.get());
        if (answer.nativeCode != LDAP_OPERATIONS_ERROR || attempt == 5
            || !pauseBeforeRetry(deadline, pause))
            return {Status::success(), std::move(answer)};
    }
}

bool LdapSession::pauseBeforeRetry(const Deadline &deadline, std::chrono::milliseconds &pause)
{
    if (deadline && Clock::now() + pause >= *deadline)
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
    auto result = next(msgid, deadlineFromNow());
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
    const int rc = ldap_sasl_interactive_bind_s(m_ld.get(), nullptr, "GSSAPI", nullptr, nullptr,
                                                LDAP_SASL_QUIET, acceptDefaults, nullptr);
    if (rc == LDAP_SUCCESS)
        return {Status::success(), true};
    const QString text = diagnostic();
    // No ticket at hand: nothing went to the server, and another bind may follow.
    if (kerberosUnavailable(text))
        return {Status::success(), false};
    if (rc == LDAP_SERVER_DOWN || rc == LDAP_TIMEOUT)
        return failure(rc);
    return kerberosFailure(rc, text, m_context);
}

} // namespace orvane::directory::detail
