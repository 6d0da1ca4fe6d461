#include "LdapFailure.h"

#include "LdapHandles.h"

namespace orvane::directory::detail {

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
    QString text
            = QString::fromUtf8(ldap_err2string(rc)) + QStringLiteral(" (LDAP result %1)").arg(rc);
    const QString detail = diagnostic.trimmed();
    if (!detail.isEmpty())
        text += QStringLiteral(": ") + detail;
    if (!text.endsWith(u'.'))
        text += u'.';

    const QString server = QStringLiteral("%1 on port %2").arg(context.host).arg(context.port);
    StatusKind kind = StatusKind::ServerError;
    QString advice;
    switch (rc) {
    case LDAP_INVALID_CREDENTIALS:
        kind = StatusKind::CredentialsRefused;
        advice = QStringLiteral("The server refused the user name or the password: check both.");
        break;
    case LDAP_STRONG_AUTH_REQUIRED:
        kind = StatusKind::StrongerAuthRequired;
        advice = QStringLiteral("The server accepts this bind only over an encrypted connection: "
                                "use port 636 (LDAP over TLS), as in LDAP://%1:636/...")
                         .arg(context.host);
        break;
    case LDAP_NO_SUCH_OBJECT:
        kind = StatusKind::NoSuchObject;
        advice = QStringLiteral("The base \"%1\" does not exist on %2: check the directory path.")
                         .arg(context.baseDn, context.host);
        if (!matchedDn.isEmpty())
            advice += QStringLiteral(" The nearest existing entry is \"%1\".").arg(matchedDn);
        break;
    case LDAP_INVALID_DN_SYNTAX:
        advice = QStringLiteral("The base \"%1\" is not a valid distinguished name: check the "
                                "directory path.")
                         .arg(context.baseDn);
        break;
    case LDAP_SERVER_DOWN:
    case LDAP_CONNECT_ERROR:
        kind = StatusKind::Unreachable;
        advice = QStringLiteral("Could not reach the directory server %1: check the server name "
                                "and port, and that the server is running.")
                         .arg(server);
        if (context.bound) {
            // The server answered the bind, so it was reachable: it (or something between)
            // closed the connection later, e.g. between two pages.
            advice = QStringLiteral("The connection to the directory server %1 was lost during "
                                    "the search: try again.")
                             .arg(server);
        } else if (context.tls) {
            // libldap reports a failed TLS handshake like a refused connection, often with
            // no detail of its own.
            kind = StatusKind::Tls;
            advice = QStringLiteral("Could not open a secure connection to the directory server "
                                    "%1: check the server name and port, that the server is "
                                    "running, and that its certificate is trusted and issued to "
                                    "that server name.")
                             .arg(server);
        }
        break;
    case LDAP_TIMEOUT:
    case LDAP_TIMELIMIT_EXCEEDED:
        kind = StatusKind::TimeLimit;
        advice = QStringLiteral("The directory server %1 did not answer within %2: try a longer "
                                "prefix, or try again later.")
                         .arg(server, secondsText(context.timeout));
        break;
    case LDAP_SIZELIMIT_EXCEEDED:
        advice = QStringLiteral("The server stopped the search at its size limit: try a longer "
                                "prefix.");
        break;
    case LDAP_REFERRAL:
        advice = QStringLiteral("The base \"%1\" is held by another server: name that server in "
                                "the directory path.")
                         .arg(context.baseDn);
        if (!referrals.isEmpty())
            advice += QStringLiteral(" The server refers to %1.").arg(referrals.join(u' '));
        break;
    default:
        break;
    }
    if (!advice.isEmpty())
        text += u' ' + advice;
    return Status::failure(kind, text, rc);
}

} // namespace orvane::directory::detail
