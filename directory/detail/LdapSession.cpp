#include "LdapSession.h"

#include <sys/time.h>

namespace orvane::directory::detail {

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

Deadline LdapSession::deadlineFromNow() const
{
    if (m_context.timeout.count() <= 0)
        return std::nullopt;
    return Clock::now() + m_context.timeout;
}

Status LdapSession::failure(int rc) const
{
    char *diagnostic = nullptr;
    ldap_get_option(m_ld.get(), LDAP_OPT_DIAGNOSTIC_MESSAGE, &diagnostic);
    const LdapText owned(diagnostic);
    return ldapFailure(rc, textOf(diagnostic), QString(), m_context);
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

Status LdapSession::next(int msgid, const Deadline &deadline, LdapMessagePtr &message)
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
    message.reset(raw);
    if (type == 0) {
        ldap_abandon_ext(m_ld.get(), msgid, nullptr, nullptr);
        return ldapFailure(LDAP_TIMEOUT, QString(), QString(), m_context);
    }
    if (type < 0) {
        int rc = LDAP_OTHER;
        ldap_get_option(m_ld.get(), LDAP_OPT_RESULT_CODE, &rc);
        return failure(rc);
    }
    return Status::success();
}

Status LdapSession::open(const Query &query, const Credentials &credentials,
                         const LdapProviderOptions &options, std::chrono::milliseconds timeout,
                         std::shared_ptr<LdapSession> &session)
{
    const bool tls = options.portRule && options.portRule(query.port) == TransportMode::Tls;
    const FailureContext context{query.host, query.port, query.baseDn, timeout, tls};
    const QByteArray uri
            = QStringLiteral("%1://%2:%3")
                      .arg(tls ? QLatin1String("ldaps") : QLatin1String("ldap"), query.host)
                      .arg(query.port)
                      .toUtf8();
    LDAP *raw = nullptr;
    int rc = ldap_initialize(&raw, uri.constData());
    LdapHandle ld(raw);
    if (rc != LDAP_SUCCESS || !ld)
        return ldapFailure(rc == LDAP_SUCCESS ? LDAP_PARAM_ERROR : rc, QString(), QString(),
                           context);

    const int version = LDAP_VERSION3;
    const timeval connectTimeout = toTimeval(options.connectTimeout);
    ldap_set_option(ld.get(), LDAP_OPT_PROTOCOL_VERSION, &version);
    ldap_set_option(ld.get(), LDAP_OPT_REFERRALS, LDAP_OPT_OFF);
    ldap_set_option(ld.get(), LDAP_OPT_NETWORK_TIMEOUT, &connectTimeout);
    if (tls) {
        // Verify the server's certificate and name; a CA file given to the provider replaces
        // the configured trust store for this connection only.
        const int demand = LDAP_OPT_X_TLS_DEMAND;
        ldap_set_option(ld.get(), LDAP_OPT_X_TLS_REQUIRE_CERT, &demand);
        const QByteArray caFile = options.caFile.toLocal8Bit();
        if (!caFile.isEmpty())
            ldap_set_option(ld.get(), LDAP_OPT_X_TLS_CACERTFILE, caFile.constData());
        const int isServer = 0;
        rc = ldap_set_option(ld.get(), LDAP_OPT_X_TLS_NEWCTX, &isServer);
        if (rc != LDAP_OPT_SUCCESS)
            return ldapFailure(
                    LDAP_CONNECT_ERROR,
                    QStringLiteral("TLS could not be set up (CA file \"%1\")").arg(options.caFile),
                    QString(), context);
    }

    std::shared_ptr<LdapSession> created(new LdapSession(std::move(ld), context));
    // RFC 4513 section 5.1: a simple bind; an empty name and password is an anonymous bind.
    const QByteArray user = credentials.user.toUtf8();
    QByteArray password = credentials.password.toUtf8();
    berval secret{static_cast<ber_len_t>(password.size()), password.data()};
    int msgid = -1;
    rc = ldap_sasl_bind(created->handle(), user.constData(), LDAP_SASL_SIMPLE, &secret, nullptr,
                        nullptr, &msgid);
    password.fill('\0');
    if (rc != LDAP_SUCCESS)
        return created->failure(rc);
    LdapMessagePtr result;
    if (Status status = created->next(msgid, created->deadlineFromNow(), result); !status.ok())
        return status;
    if (Status status = created->resultStatus(result.get()); !status.ok())
        return status;
    created->m_context.bound = true;
    session = std::move(created);
    return Status::success();
}

} // namespace orvane::directory::detail
