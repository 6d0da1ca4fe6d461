#include "SmtpDialogue.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace orvane::mail::detail {

namespace {

// A reply ends up in a message box: a server may send lines of any length (RFC 5321 section
// 4.5.3.1.5 sets 512 octets, not all servers keep to it) and any number of them.
constexpr qsizetype maxLineChars = 200;
constexpr qsizetype maxReplyLines = 6;

QString clipped(const QString &text)
{
    return text.size() <= maxLineChars ? text : text.left(maxLineChars) + QStringLiteral("...");
}

// The JSON object a 334 challenge carries in base64, compact; empty for anything else (the
// ordinary challenges of LOGIN or CRAM-MD5 are not JSON).
QString tokenErrorIn(const QString &challenge)
{
    const auto decoded = QByteArray::fromBase64Encoding(challenge.toLatin1(),
                                                        QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded)
        return {};
    const QJsonDocument json = QJsonDocument::fromJson(*decoded);
    if (!json.isObject())
        return {};
    return clipped(QString::fromUtf8(json.toJson(QJsonDocument::Compact)));
}

} // namespace

void SmtpDialogue::commandSent(const QByteArray &line)
{
    // During AUTH every client line is credentials; only a reply ends that state.
    if (m_inAuth)
        return;
    const QByteArray text = line.trimmed();
    const qsizetype space = text.indexOf(' ');
    const QString verb = QString::fromLatin1(text.left(space < 0 ? text.size() : space)).toUpper();
    // libcurl says QUIT after a failure; its 221 must not hide the reply that failed.
    m_quitting = verb == u"QUIT";
    if (m_quitting)
        return;
    m_lastCommand = verb;
    if (verb == u"AUTH") {
        m_inAuth = true;
    } else if (verb == u"EHLO" || verb == u"HELO") {
        m_inEhlo = true;
    } else if (verb == u"RCPT") {
        const qsizetype open = text.indexOf('<');
        const qsizetype close = text.indexOf('>', open + 1);
        m_lastRecipient = open >= 0 && close > open
                                  ? QString::fromUtf8(text.mid(open + 1, close - open - 1))
                                  : QString::fromUtf8(text.mid(space + 1));
    }
}

void SmtpDialogue::replyReceived(const QByteArray &chunk)
{
    if (m_quitting)
        return;
    for (const QByteArray &raw : chunk.split('\n')) {
        const QByteArray line = raw.trimmed();
        if (line.size() < 3)
            continue;
        bool numeric = false;
        const int code = line.left(3).toInt(&numeric);
        if (!numeric)
            continue;
        const bool more = line.size() > 3 && line.at(3) == '-';
        const QString text = QString::fromUtf8(line.mid(4)).trimmed();
        if (m_inAuth && code == 334 && !more)
            if (QString error = tokenErrorIn(text); !error.isEmpty())
                m_tokenError = error;
        if (m_inEhlo && code == 250 && !m_pending.isEmpty()) {
            // Capability lines (every line after the first), RFC 5321 section 4.1.1.1.
            const QString keyword = text.section(u' ', 0, 0).toUpper();
            if (keyword == u"AUTH")
                m_authMechanisms = text.section(u' ', 1).split(u' ', Qt::SkipEmptyParts);
            else if (keyword == u"STARTTLS")
                m_startTls = true;
            else if (keyword == u"SIZE")
                m_sizeLimit = text.section(u' ', 1, 1).toLongLong();
        } else if (m_inEhlo && m_pending.isEmpty()) {
            m_authMechanisms.clear();
            m_startTls = false;
            m_sizeLimit = 0;
        }
        // The first line keeps its code ("550 5.1.1 ..."), the others only their text.
        if (m_pending.size() < maxReplyLines)
            m_pending.append(clipped(
                    m_pending.isEmpty() ? (QString::number(code) + u' ' + text).trimmed() : text));
        else if (m_pending.size() == maxReplyLines)
            m_pending.append(QStringLiteral("..."));
        if (!more)
            finishReply(code);
    }
}

void SmtpDialogue::finishReply(int code)
{
    m_lastReply = m_pending.join(u' ');
    m_pending.clear();
    m_lastReplyCode = code;
    m_lastReplyTo = m_lastCommand;
    if (m_lastCommand.isEmpty() && code == 220)
        m_greeted = true;
    if (m_inAuth && code != 334) {
        m_inAuth = false;
        m_authenticated = code == 235;
    }
    m_inEhlo = false;
}

} // namespace orvane::mail::detail
