#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace orvane::mail::detail {

// Follows the SMTP conversation as libcurl reports it (commands out, replies in), so that a
// failure can be described with the server's own words and the command it answered, and so
// that we can see what the server offered after the last EHLO. Never keeps what is sent during
// AUTH: those lines carry the credentials.
class SmtpDialogue
{
public:
    void commandSent(const QByteArray &line);
    void replyReceived(const QByteArray &line);

    // The verb of the last command ("EHLO", "MAIL", "RCPT", "DATA", ...).
    const QString &lastCommand() const { return m_lastCommand; }
    // The argument of the last RCPT TO, e.g. "ann@example.com".
    const QString &lastRecipient() const { return m_lastRecipient; }
    // The last complete reply, all lines joined by a space with the codes of continuation
    // lines removed, e.g. "535 5.7.8 Authentication credentials invalid"; and its code.
    const QString &lastReply() const { return m_lastReply; }
    int lastReplyCode() const { return m_lastReplyCode; }
    // The command the last complete reply answered.
    const QString &lastReplyTo() const { return m_lastReplyTo; }
    // The lines so far of a reply that has not ended: the server stopped, or never ends it.
    QString unfinishedReply() const { return m_pending.join(u' '); }

    // What the last EHLO reply offered (RFC 5321 section 4.1.1.1).
    bool offersAuth() const { return !m_authMechanisms.isEmpty(); }
    const QStringList &authMechanisms() const { return m_authMechanisms; }
    bool offersStartTls() const { return m_startTls; }
    qint64 sizeLimit() const { return m_sizeLimit; } // 0: none announced
    bool authenticated() const { return m_authenticated; }
    // The error a server sent as a challenge to a refused OAuth token (RFC 7628 section 3.2.2,
    // and XOAUTH2 alike): the JSON behind the base64 of a 334 during AUTH, e.g.
    // {"status":"invalid_token","scope":"smtp.send"}; empty when there was none.
    const QString &tokenError() const { return m_tokenError; }
    bool greeted() const { return m_greeted; }

private:
    void finishReply(int code);

    QString m_lastCommand;
    QString m_lastRecipient;
    QString m_lastReply;
    int m_lastReplyCode = 0;
    QString m_lastReplyTo;
    QStringList m_pending; // lines of a multi-line reply so far
    QStringList m_authMechanisms;
    QString m_tokenError;
    bool m_startTls = false;
    qint64 m_sizeLimit = 0;
    bool m_inAuth = false;
    bool m_authenticated = false;
    bool m_greeted = false;
    bool m_inEhlo = false;
    bool m_quitting = false;
};

} // namespace orvane::mail::detail
