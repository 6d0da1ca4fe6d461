#include "MailStatus.h"

#include <QByteArray>

namespace orvane::mail {

void MailStatus::redact(const QString &secret)
{
    // Very short secrets would blank out ordinary words and give away little if shown.
    if (secret.size() < 4)
        return;
    m_description.replace(secret, QStringLiteral("****"));
    redactEncoded(secret.toUtf8());
}

void MailStatus::redactEncoded(const QByteArray &raw)
{
    if (raw.size() < 4)
        return;
    const QString mask = QStringLiteral("****");
    m_description.replace(QString::fromLatin1(raw.toBase64()), mask);
    m_description.replace(QString::fromLatin1(raw.toBase64(QByteArray::OmitTrailingEquals)), mask);
}

} // namespace orvane::mail
