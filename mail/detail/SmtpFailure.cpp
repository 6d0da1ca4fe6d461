#include "SmtpFailure.h"

#include <curl/curl.h>

namespace orvane::mail::detail {

using form::Status;
using form::StatusKind;

namespace {

QString where(const FailureContext &c)
{
    return QStringLiteral("%1 port %2").arg(c.host).arg(c.port);
}

// A measured time to the nearest tenth of a second, which keeps a limit met a hair short at its
// own number (the quiet before a greeting is counted from the connection, a moment after the
// connect time-out starts); then from one second on rounded down to whole seconds, as libcurl
// notices a passed stall limit only when it next looks, about 0.2 s late, and "nothing happened
// for N seconds" must not claim more than passed.
QString seconds(std::chrono::milliseconds duration)
{
    const qint64 tenths = (duration.count() + 50) / 100;
    if (tenths < 10)
        return QString::number(double(tenths) / 10.0) + QStringLiteral(" seconds");
    const qint64 whole = tenths / 10;
    return QString::number(whole)
           + (whole == 1 ? QStringLiteral(" second") : QStringLiteral(" seconds"));
}

Status fail(StatusKind kind, long code, const QString &text)
{
    return Status::failure(kind, code, text);
}

// A refusal in the server's own words: every text names the server as %1 and quotes its reply
// as %2.
Status said(const FailureContext &c, StatusKind kind, const QString &text)
{
    return fail(kind, c.dialogue->lastReplyCode(), text.arg(where(c), c.dialogue->lastReply()));
}

// 421 or 554 instead of the 220 greeting (RFC 5321 section 3.1).
Status describeRefusedGreeting(const FailureContext &c, bool temporary)
{
    if (temporary)
        return said(c, StatusKind::ServerRefused,
                    QStringLiteral("The SMTP server %1 is not taking mail at the moment: "
                                   "\"%2\". Nothing was sent; try again later."));
    return said(c, StatusKind::ServerRefused,
                QStringLiteral("The SMTP server %1 refused the connection: \"%2\". Nothing "
                               "was sent. Check the server name and port, or ask the "
                               "server's administrator."));
}

Status describeLoginRequired(const FailureContext &c)
{
    // Microsoft 365's answer to MAIL FROM without a login.
    if (c.dialogue->lastReply().contains(QLatin1String("5.7.57")))
        return said(c, StatusKind::AuthRequired,
                    QStringLiteral("The SMTP server %1 takes mail only after a login: \"%2\". "
                                   "Tick SMTP Authentication and enter your mailbox address as "
                                   "the user name (with the password empty where an OAuth "
                                   "sign-in is set up for this server)."));
    if (c.dialogue->lastReply().contains(QLatin1String("STARTTLS"), Qt::CaseInsensitive))
        return said(c, StatusKind::AuthRequired,
                    QStringLiteral("The SMTP server %1 wants an encrypted connection first: "
                                   "\"%2\". Tick SSL and send again."));
    return said(c, StatusKind::AuthRequired,
                QStringLiteral("The SMTP server %1 requires a login: \"%2\". Tick SMTP "
                               "Authentication, enter your user name and password, and "
                               "send again."));
}

Status describeSizeRefused(const FailureContext &c)
{
    const SmtpDialogue &d = *c.dialogue;
    QString text = QStringLiteral("The SMTP server %1 refused the message because of its "
                                  "size: \"%2\". The message is %3 bytes")
                           .arg(where(c), d.lastReply())
                           .arg(c.messageSize);
    // A message within the announced limit was refused for another size, e.g. a quota.
    if (d.sizeLimit() > 0 && c.messageSize > d.sizeLimit())
        text += QStringLiteral("; the server takes at most %1 bytes").arg(d.sizeLimit());
    return fail(StatusKind::SizeRefused, d.lastReplyCode(),
                text + QStringLiteral(". Attach a smaller file and send again."));
}

// A refusal by the server, described from its reply and the command it answered.
Status describeRefusal(const FailureContext &c)
{
    const SmtpDialogue &d = *c.dialogue;
    const int code = d.lastReplyCode();
    const bool temporary = code < 500; // RFC 5321 section 4.2.1: 4yz, the same may work later
    if (d.lastReplyTo().isEmpty())
        return describeRefusedGreeting(c, temporary);
    if (d.lastReplyTo() == u"EHLO" && c.startTls)
        // Without EHLO there is no STARTTLS (RFC 3207 section 4); HELO would mean plaintext.
        return said(c, StatusKind::StartTlsUnavailable,
                    QStringLiteral("The SMTP server %1 refused the extended greeting (EHLO): "
                                   "\"%2\". Without it encryption (STARTTLS) cannot start, so "
                                   "nothing was sent. Use the server's TLS port (often 465) or "
                                   "ask its administrator."));
    if (code == 530)
        return describeLoginRequired(c);
    if (code == 552 || code == 523)
        return describeSizeRefused(c);
    if (d.lastReplyTo() == u"RCPT")
        return fail(StatusKind::RecipientRefused, code,
                    QStringLiteral("The SMTP server %1 refused the recipient %2: \"%3\". The "
                                   "message was not sent to anyone. Check the To address.")
                            .arg(where(c), d.lastRecipient(), d.lastReply()));
    if (d.lastReplyTo() == u"MAIL" && !temporary)
        return said(c, StatusKind::SenderRefused,
                    QStringLiteral("The SMTP server %1 refused the sender address: \"%2\". "
                                   "Check the From address."));
    if (temporary)
        return said(c, StatusKind::ServerRefused,
                    QStringLiteral("The SMTP server %1 could not take the message at the moment: "
                                   "\"%2\". The message was not sent; try again later."));
    return said(c, StatusKind::ServerRefused,
                QStringLiteral("The SMTP server %1 refused the message: \"%2\". The message was "
                               "not sent."));
}

// libcurl reads the socket after DATA only once the final dot is out, so a failure to read
// the answer means the server has the whole message and may have taken it on (RFC 5321
// section 4.1.1.4); sending again could deliver it twice.
bool mayHaveBeenDelivered(const FailureContext &c)
{
    const SmtpDialogue &d = *c.dialogue;
    const long code = c.curlCode;
    const bool afterFinalDot
            = c.wholeMessageRead && d.lastReplyTo() == u"DATA" && d.lastReplyCode() == 354;
    return afterFinalDot
           && (code == CURLE_RECV_ERROR || code == CURLE_GOT_NOTHING
               || code == CURLE_OPERATION_TIMEDOUT);
}

Status describeDeliveryUnknown(const FailureContext &c)
{
    const long code = c.curlCode;
    const QString what = code == CURLE_OPERATION_TIMEDOUT
                                 ? QStringLiteral("no answer came for %1").arg(seconds(c.idle))
                                 : QStringLiteral("the connection broke off: %1").arg(c.errorText);
    return fail(StatusKind::DeliveryUnknown, code,
                QStringLiteral("The whole message went to the SMTP server %1, but %2, so the "
                               "server never confirmed it. The message may or may not have "
                               "been delivered: check with the recipient before sending it "
                               "again.")
                        .arg(where(c), what));
}

Status describeTimeout(const FailureContext &c)
{
    const long code = c.curlCode;
    if (!c.connected)
        return fail(StatusKind::Timeout, code,
                    QStringLiteral("Connecting to the SMTP server %1 timed out after %2. "
                                   "Check the server name and port, and the network.")
                            .arg(where(c), seconds(c.elapsed)));
    const QString lastCommand = c.dialogue->lastCommand();
    return fail(StatusKind::Timeout, code,
                QStringLiteral("The SMTP server %1 stopped answering: nothing happened for "
                               "%2%3. The message was not sent; try again later.")
                        .arg(where(c), seconds(c.idle),
                             lastCommand.isEmpty() ? QStringLiteral(" (it never sent its greeting)")
                                                   : QStringLiteral(" after %1").arg(lastCommand)));
}

Status describeStartTlsFailure(const FailureContext &c)
{
    const SmtpDialogue &d = *c.dialogue;
    if (d.lastReplyTo() == u"STARTTLS")
        return fail(StatusKind::StartTlsUnavailable, d.lastReplyCode(),
                    QStringLiteral("The SMTP server %1 refused to start encryption: \"%2\". "
                                   "Nothing was sent unencrypted. Try again later, or use "
                                   "the server's TLS port (often 465).")
                            .arg(where(c), d.lastReply()));
    return fail(StatusKind::StartTlsUnavailable, c.curlCode,
                QStringLiteral("The SMTP server %1 does not offer encryption (STARTTLS), so "
                               "nothing was sent: with SSL ticked the password and message "
                               "never travel unencrypted. Use the server's TLS port (often "
                               "465) or ask its administrator.")
                        .arg(where(c)));
}

// An access token the server did not take. Its reason, where it gave one, is in the JSON of
// its 334 challenge (RFC 7628 section 3.2.2); libcurl ends an XOAUTH2 login right there.
Status describeTokenRefused(const FailureContext &c)
{
    const SmtpDialogue &d = *c.dialogue;
    const QString reply = d.lastReply();
    QString text = QStringLiteral("The SMTP server %1 refused the OAuth sign-in: \"%2\"")
                           .arg(where(c), reply);
    if (!d.tokenError().isEmpty() && !reply.contains(d.tokenError()))
        text += QStringLiteral(" (it said %1)").arg(d.tokenError());
    text += u'.';
    const int code = d.lastReplyCode();
    if (code >= 400 && code < 500) // RFC 4954 section 6: 454, the server could not check it
        text += QStringLiteral(" The server could not check the token at the moment: try again "
                               "later.");
    else if (reply.contains(QLatin1String("5.7.139")))
        text += QStringLiteral(" Authenticated SMTP is switched off for this tenant or mailbox: "
                               "an Exchange administrator must allow it for the mailbox "
                               "(Set-CASMailbox -SmtpClientAuthenticationDisabled $false).");
    else
        text += QStringLiteral(" The provider signed you in, but the server does not accept the "
                               "token: check that the user name is the mailbox's address, that "
                               "the application has the permission (scope) for sending mail, "
                               "and that the server allows authenticated SMTP for the mailbox.");
    return fail(StatusKind::AuthRejected, d.lastReplyCode(),
                text + QStringLiteral(" The message was not sent."));
}

// A password login refused by a server that no longer takes passwords (Microsoft 365).
bool refusesPasswords(const QString &reply)
{
    return reply.contains(QLatin1String("5.7.30"))
           || reply.contains(QLatin1String("Basic authentication"), Qt::CaseInsensitive)
           || reply.contains(QLatin1String("5.7.139"));
}

Status describeLoginFailure(const FailureContext &c)
{
    const SmtpDialogue &d = *c.dialogue;
    if (c.bearer && d.lastReplyTo() == u"AUTH" && d.lastReplyCode() >= 300)
        return describeTokenRefused(c);
    if (!c.bearer && d.lastReplyTo() == u"AUTH" && refusesPasswords(d.lastReply()))
        return fail(StatusKind::AuthRejected, d.lastReplyCode(),
                    QStringLiteral("The SMTP server %1 refused the login: \"%2\". It no longer "
                                   "takes a password here, only an OAuth sign-in (or "
                                   "authenticated SMTP is switched off for the mailbox). Leave "
                                   "the password empty and have your administrator set up the "
                                   "OAuth sign-in for this server (see \"man orvane\", OAUTH "
                                   "SIGN-IN).")
                            .arg(where(c), d.lastReply()));
    if (d.lastReplyTo() == u"AUTH" && d.lastReplyCode() == 334)
        // Every step of the mechanism was answered and the server still wants more.
        return fail(StatusKind::AuthRejected, d.lastReplyCode(),
                    QStringLiteral("The SMTP server %1 did not accept the login: after the "
                                   "user name and password it still asked for more "
                                   "(\"%2\"). Check the user name and password, or ask the "
                                   "server's administrator which login it expects.")
                            .arg(where(c), d.lastReply()));
    if (d.lastReplyTo() == u"AUTH" && d.lastReplyCode() >= 400)
        return fail(StatusKind::AuthRejected, d.lastReplyCode(),
                    QStringLiteral("The SMTP server %1 refused the login: \"%2\". Check the "
                                   "user name and password.")
                            .arg(where(c), d.lastReply()));
    if (c.bearer)
        return fail(StatusKind::AuthUnavailable, c.curlCode,
                    QStringLiteral("The SMTP server %1 offers no OAuth login (it offers: %2), so "
                                   "the access token could not be used: %3. Check the server "
                                   "name and port, and tick SSL where the server offers more "
                                   "after STARTTLS.")
                            .arg(where(c), d.authMechanisms().join(u' '), c.errorText));
    return fail(StatusKind::AuthUnavailable, c.curlCode,
                QStringLiteral("None of the login methods the SMTP server %1 offers (%2) can "
                               "be used: %3.")
                        .arg(where(c), d.authMechanisms().join(u' '), c.errorText));
}

bool isTlsFailure(int curlCode)
{
    return curlCode == CURLE_SSL_CONNECT_ERROR || curlCode == CURLE_SSL_CERTPROBLEM
           || curlCode == CURLE_SSL_CIPHER || curlCode == CURLE_SSL_CACERT_BADFILE;
}

Status describeTlsFailure(const FailureContext &c)
{
    QString text = QStringLiteral("The secure connection to the SMTP server %1 failed: %2.")
                           .arg(where(c), c.errorText);
    if (c.implicitTls)
        text += QStringLiteral(" TLS was started with the first byte, as on port 465; if "
                               "this port expects STARTTLS instead, use the server's "
                               "STARTTLS port (often 587).");
    return fail(StatusKind::Tls, c.curlCode, text);
}

// libcurl gives up on a reply that grows past its limit (an endless run of 334- lines, say) or
// that the connection cuts off; either way the server's last words are these.
bool isUnfinishedReply(const FailureContext &c)
{
    return !c.dialogue->unfinishedReply().isEmpty()
           && (c.curlCode == CURLE_RECV_ERROR || c.curlCode == CURLE_GOT_NOTHING);
}

Status describeUnfinishedReply(const FailureContext &c)
{
    return fail(StatusKind::ConnectionLost, c.curlCode,
                QStringLiteral("The SMTP server %1 never finished its reply (\"%2\"): %3. "
                               "The message was not sent; try again later, or ask the "
                               "server's administrator.")
                        .arg(where(c), c.dialogue->unfinishedReply(), c.errorText));
}

// What is left: the connection broke, or libcurl failed for a reason of its own.
Status describeTransferFailure(const FailureContext &c)
{
    const long code = c.curlCode;
    switch (c.curlCode) {
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
    case CURLE_GOT_NOTHING:
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_PARTIAL_FILE:
    case CURLE_UPLOAD_FAILED:
        return fail(StatusKind::ConnectionLost, code,
                    QStringLiteral("The connection to the SMTP server %1 broke off%2: %3. The "
                                   "message was not sent; try again.")
                            .arg(where(c),
                                 c.dialogue->lastCommand() == u"DATA"
                                         ? QStringLiteral(" while the message was being sent")
                                         : QString(),
                                 c.errorText));
    default:
        return fail(StatusKind::Internal, code,
                    QStringLiteral("Sending to the SMTP server %1 failed: %2 (libcurl error %3).")
                            .arg(where(c), c.errorText)
                            .arg(code));
    }
}

} // namespace

Status describeNoLoginOffered(const FailureContext &c)
{
    QString text = QStringLiteral("The SMTP server %1 offers no login, so the message was not "
                                  "sent without one.")
                           .arg(where(c));
    if (c.dialogue->offersStartTls() && !c.startTls && !c.implicitTls)
        text += QStringLiteral(" It offers encryption (STARTTLS) and may allow a login only "
                               "after it: tick SSL and send again.");
    else
        text += QStringLiteral(" If the server takes mail without a login, untick SMTP "
                               "Authentication.");
    return fail(StatusKind::AuthUnavailable, 0, text);
}

Status describeSmtpFailure(const FailureContext &c)
{
    const long code = c.curlCode;
    if (mayHaveBeenDelivered(c))
        return describeDeliveryUnknown(c);
    switch (c.curlCode) {
    case CURLE_COULDNT_RESOLVE_HOST:
        return fail(StatusKind::Resolve, code,
                    QStringLiteral("The SMTP server name \"%1\" could not be found (%2). Check the "
                                   "server name.")
                            .arg(c.host, c.errorText));
    case CURLE_COULDNT_CONNECT:
        return fail(StatusKind::Connect, code,
                    QStringLiteral("Could not connect to the SMTP server %1: %2. Check the server "
                                   "name and port, and that the server is running.")
                            .arg(where(c), c.errorText));
    case CURLE_OPERATION_TIMEDOUT:
        return describeTimeout(c);
    case CURLE_PEER_FAILED_VERIFICATION:
        return fail(StatusKind::Certificate, code,
                    QStringLiteral("The certificate of the SMTP server %1 could not be verified: "
                                   "%2. The server must show a valid certificate for \"%3\" from "
                                   "an authority this computer trusts; nothing was sent.")
                            .arg(where(c), c.errorText, c.host));
    case CURLE_USE_SSL_FAILED:
        return describeStartTlsFailure(c);
    case CURLE_LOGIN_DENIED:
    case CURLE_AUTH_ERROR:
        return describeLoginFailure(c);
    default:
        break;
    }
    if (isTlsFailure(c.curlCode))
        return describeTlsFailure(c);
    if (isUnfinishedReply(c))
        return describeUnfinishedReply(c);
    if (c.dialogue->lastReplyCode() >= 400)
        return describeRefusal(c);
    return describeTransferFailure(c);
}

} // namespace orvane::mail::detail
