#pragma once

#include "form/Status.h"
#include "mail/MimeStream.h"
#include "mail/TransportOptions.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>

namespace orvane::mail {

// One submission: where to, how, and the envelope (RFC 5321 section 3.3).
struct SmtpRequest
{
    QString host; // name, IPv4 or IPv6 address (without brackets)
    int port = 25;
    bool useTls = false;
    bool authenticate = false;
    QString user;
    QString password;
    // An OAuth 2.0 access token that signs in instead of the password: SASL OAUTHBEARER
    // (RFC 7628) where the server offers it, else XOAUTH2.
    QByteArray bearer;
    QByteArray mailFrom;      // bare address, ASCII
    QList<QByteArray> rcptTo; // addr-specs, ASCII
};

// Submits a message over SMTP with libcurl: TLS by OpenSSL (implicit or required STARTTLS,
// verified against the system store or the CA file of the options), login with a mechanism
// the server offers, the size announced up front, and the message streamed from a MimeStream.
class SmtpTransport
{
public:
    explicit SmtpTransport(TransportOptions options);

    // Called with bytes uploaded so far and the total; returning false stops the send.
    using Progress = std::function<bool(qint64 sent, qint64 total)>;
    void setProgress(Progress progress) { m_progress = std::move(progress); }

    // Returns once the server has accepted the message (250 after the data) or the send failed.
    form::Status send(const SmtpRequest &request, MimeStream &message);
    // What the server answered the message with, after a successful send: "250 2.0.0 Ok:
    // queued as 4F2A1".
    const QString &acceptedReply() const { return m_acceptedReply; }

    // The name we greet with (EHLO): this machine's host name if it is a valid one.
    static QByteArray clientName();

private:
    TransportOptions m_options;
    Progress m_progress;
    QString m_acceptedReply;
};

} // namespace orvane::mail
