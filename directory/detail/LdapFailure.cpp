#include "LdapFailure.h"

#include "LdapHandles.h"

#include <QRegularExpression>

namespace orvane::directory::detail {

using form::Status;
using form::StatusKind;

namespace {

QString serverText(const FailureContext &context)
{
    return QStringLiteral("%1 on port %2").arg(context.host).arg(context.port);
}

// Active Directory (and Samba) put the Windows error behind a refused bind into the diagnostic
// as "data 52e"; the result code alone (49) cannot tell a wrong password from a locked account.
QString adBindReason(const QString &diagnostic)
{
    static const QRegularExpression data(QStringLiteral("\\bdata ([0-9a-fA-F]{3,8})\\b"));
    const QRegularExpressionMatch match = data.match(diagnostic);
    if (!match.hasMatch())
        return QString();
    // clang-format off
    static const QList<std::pair<QString, QString>> reasons = {
        {"525", "The user does not exist in the directory: check the user name."},
        {"52e", "The user name or the password is wrong: check both."},
        {"530", "The account may not sign in at this time of day."},
        {"531", "The account may not sign in from this computer."},
        {"532", "The account's password has expired: change it, then search again."},
        {"533", "The account is disabled: ask the directory's administrator."},
        {"701", "The account has expired: ask the directory's administrator."},
        {"773", "The account's password must be changed before it can be used: change it, "
                "then search again."},
        {"775", "The account is locked out after too many wrong passwords: wait, or ask the "
                "directory's administrator to unlock it."},
    };
    // clang-format on
    const QString code = match.captured(1).toLower();
    for (const auto &[known, reason] : reasons) {
        if (code == known)
            return reason;
    }
    return QString();
}

QString strongerAuthAdvice(const FailureContext &context)
{
    if (context.tls)
        return QStringLiteral("The server wants a stronger sign-in on this connection: enter a "
                              "user name and password, or, on a computer signed in to the "
                              "domain, leave both empty to use your Kerberos ticket.");
    return QStringLiteral("The server accepts a password only over an encrypted connection, and "
                          "it does not offer StartTLS on this port: use port 636 (LDAP over "
                          "TLS), as in LDAP://%1:636/..., or leave the user name and password "
                          "empty to sign in with your Kerberos ticket.")
            .arg(context.host);
}

QString unreachableAdvice(const FailureContext &context, StatusKind &kind)
{
    const QString server = serverText(context);
    if (context.bound) {
        // The server answered the bind, so it was reachable: it (or something between)
        // closed the connection later, e.g. between two pages.
        return QStringLiteral("The connection to the directory server %1 was lost during the "
                              "search: try again.")
                .arg(server);
    }
    if (context.tls) {
        // libldap reports a failed TLS handshake like a refused connection, often with no
        // detail of its own.
        kind = StatusKind::Tls;
        return QStringLiteral("Could not open a secure connection to the directory server %1: "
                              "check the server name and port, that the server is running, and "
                              "that its certificate is trusted and issued to that server name.")
                .arg(server);
    }
    return QStringLiteral("Could not reach the directory server %1: check the server name and "
                          "port, and that the server is running.")
            .arg(server);
}

QString credentialsAdvice(const QString &diagnostic)
{
    const QString reason = adBindReason(diagnostic);
    return reason.isEmpty()
                   ? QStringLiteral("The server refused the user name or the password: check both.")
                   : reason;
}

QString signInFirstAdvice()
{
    return QStringLiteral("The directory answers only after a sign-in: enter a user name and "
                          "password, or, on a computer signed in to the domain, leave both "
                          "empty to use your Kerberos ticket.");
}

QString noSuchBaseAdvice(const FailureContext &context, const QString &matchedDn)
{
    QString advice = QStringLiteral("The base \"%1\" does not exist on %2: check the "
                                    "directory path.")
                             .arg(context.baseDn, context.host);
    if (!matchedDn.isEmpty())
        advice += QStringLiteral(" The nearest existing entry is \"%1\".").arg(matchedDn);
    return advice;
}

QString timeLimitAdvice(const FailureContext &context)
{
    // Before the sign-in, no search had begun: a shorter result would not have come sooner.
    if (!context.bound)
        return QStringLiteral("The directory server %1 did not answer within %2: check that "
                              "the directory path names the directory server and its port, or "
                              "try again later.")
                .arg(serverText(context), secondsText(context.timeout));
    return QStringLiteral("The directory server %1 did not answer within %2: try a longer "
                          "prefix, or try again later.")
            .arg(serverText(context), secondsText(context.timeout));
}

QString referralAdvice(const FailureContext &context, const QStringList &referrals)
{
    QString advice = QStringLiteral("The base \"%1\" is held by another server: name that "
                                    "server in the directory path.")
                             .arg(context.baseDn);
    if (!referrals.isEmpty())
        advice += QStringLiteral(" The server refers to %1.").arg(referrals.join(u' '));
    return advice;
}

// What to do about rc, where that is known; kind is set to what the failure is.
QString adviceFor(int rc, const QString &diagnostic, const QString &matchedDn,
                  const FailureContext &context, const QStringList &referrals, StatusKind &kind)
{
    switch (rc) {
    case LDAP_INVALID_CREDENTIALS:
        kind = StatusKind::CredentialsRefused;
        return credentialsAdvice(diagnostic);
    case LDAP_STRONG_AUTH_REQUIRED:
        kind = StatusKind::StrongerAuthRequired;
        return strongerAuthAdvice(context);
    case LDAP_CONFIDENTIALITY_REQUIRED:
        kind = StatusKind::StrongerAuthRequired;
        return QStringLiteral("The server answers only over an encrypted connection: use port "
                              "636 (LDAP over TLS), as in LDAP://%1:636/....")
                .arg(context.host);
    case LDAP_OPERATIONS_ERROR:
        // Active Directory's answer to a search without a sign-in.
        if (!context.anonymous)
            return QString();
        kind = StatusKind::CredentialsRefused;
        return signInFirstAdvice();
    case LDAP_NO_SUCH_OBJECT:
        kind = StatusKind::NoSuchObject;
        return noSuchBaseAdvice(context, matchedDn);
    case LDAP_INVALID_DN_SYNTAX:
        return QStringLiteral("The base \"%1\" is not a valid distinguished name: check the "
                              "directory path.")
                .arg(context.baseDn);
    case LDAP_SERVER_DOWN:
    case LDAP_CONNECT_ERROR:
        kind = StatusKind::Unreachable;
        return unreachableAdvice(context, kind);
    case LDAP_TIMEOUT:
    case LDAP_TIMELIMIT_EXCEEDED:
        kind = StatusKind::TimeLimit;
        return timeLimitAdvice(context);
    case LDAP_SIZELIMIT_EXCEEDED:
        return QStringLiteral("The server stopped the search at its size limit: try a longer "
                              "prefix.");
    case LDAP_REFERRAL:
        return referralAdvice(context, referrals);
    default:
        return QString();
    }
}

// The library's words for rc, and the server's diagnostic after them.
QString libraryText(int rc, const QString &diagnostic)
{
    QString text
            = QString::fromUtf8(ldap_err2string(rc)) + QStringLiteral(" (LDAP result %1)").arg(rc);
    const QString detail = diagnostic.trimmed();
    if (!detail.isEmpty())
        text += QStringLiteral(": ") + detail;
    if (!text.endsWith(u'.'))
        text += u'.';
    return text;
}

} // namespace

QString secondsText(std::chrono::milliseconds duration)
{
    const auto ms = duration.count();
    if (ms % 1000 == 0)
        return ms == 1000 ? QStringLiteral("1 second")
                          : QStringLiteral("%1 seconds").arg(ms / 1000);
    return QStringLiteral("%1 seconds").arg(double(ms) / 1000.0, 0, 'g', 3);
}

Status ldapFailure(int rc, const QString &diagnostic, const QString &matchedDn,
                   const FailureContext &context, const QStringList &referrals)
{
    QString text = libraryText(rc, diagnostic);
    StatusKind kind = StatusKind::ServerError;
    const QString advice = adviceFor(rc, diagnostic, matchedDn, context, referrals, kind);
    if (!advice.isEmpty())
        text += u' ' + advice;
    return Status::failure(kind, rc, text);
}

Status tlsFailure(const QString &reason, const FailureContext &context)
{
    const QString how
            = context.startTlsOffered ? QStringLiteral("StartTLS") : QStringLiteral("TLS");
    return Status::failure(StatusKind::Tls, LDAP_CONNECT_ERROR,
                           QStringLiteral("Could not open a secure connection (%1) to the "
                                          "directory server %2: %3 No password was sent.")
                                   .arg(how, serverText(context), reason));
}

bool kerberosUnavailable(const QString &diagnostic)
{
    // MIT Kerberos's words for an empty or missing credentials cache. A missing GSSAPI module
    // is no such case: whether a ticket would have signed in cannot be known without it.
    static const QStringList markers = {
            QStringLiteral("No Kerberos credentials available"),
            QStringLiteral("No credentials cache found"),
            QStringLiteral("No credentials were supplied"),
    };
    for (const QString &marker : markers) {
        if (diagnostic.contains(marker, Qt::CaseInsensitive))
            return true;
    }
    return false;
}

Status kerberosFailure(int rc, const QString &diagnostic, const FailureContext &context)
{
    QString advice;
    if (diagnostic.contains(QLatin1String("no mechanism available"), Qt::CaseInsensitive)) {
        // Cyrus SASL's words where its GSSAPI module is not installed.
        advice = QStringLiteral("Signing in with your Kerberos ticket needs the SASL GSSAPI "
                                "module, which is not installed: install the package "
                                "libsasl2-modules-gssapi-mit, or enter a user name and "
                                "password.");
    } else if (diagnostic.contains(QLatin1String("expired"), Qt::CaseInsensitive)) {
        advice = QStringLiteral("Your Kerberos ticket has expired: sign in again (or run kinit), "
                                "or enter a user name and password.");
    } else if (diagnostic.contains(QLatin1String("not found in Kerberos database"),
                                   Qt::CaseInsensitive)) {
        advice = QStringLiteral("The domain knows no service ldap/%1: type the directory "
                                "server's full name as the domain knows it (for example "
                                "dc1.example.com), or enter a user name and password.")
                         .arg(context.host);
    } else if (rc == LDAP_STRONG_AUTH_REQUIRED && context.tls) {
        // Samba wants the Kerberos layer to sign and seal, which no server allows over TLS.
        advice = QStringLiteral("This server takes a Kerberos sign-in only on a plain port, "
                                "where the sign-in itself encrypts the connection: leave the "
                                "port out of the path (or use 389), or enter a user name and "
                                "password.");
    } else if (diagnostic.contains(QLatin1String("Cannot contact any KDC"), Qt::CaseInsensitive)
               || diagnostic.contains(QLatin1String("Cannot find KDC"), Qt::CaseInsensitive)) {
        advice = QStringLiteral("The domain's Kerberos server could not be reached: check the "
                                "network, or enter a user name and password.");
    } else {
        advice = QStringLiteral("Signing in with your Kerberos ticket failed: enter a user name "
                                "and password instead.");
    }
    Status status = ldapFailure(rc, diagnostic, QString(), context);
    status.kind = StatusKind::CredentialsRefused;
    status.description += u' ' + advice;
    return status;
}

} // namespace orvane::directory::detail
