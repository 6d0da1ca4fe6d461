#include "MailStatus.h"

#include <QByteArray>

namespace orvane::mail {

void MailStatus::redact(const QString &secret)
{
    // Very short secrets would blank out ordinary words and give away little if shown.
    if (secret.size() < 4)
        return;
    const QString mask = QStringLiteral("****");
    m_description.replace(secret, mask);
    const QByteArray raw = secret.toUtf8();
    m_description.replace(QString::fromLatin1(raw.toBase64()), mask);
    // The base64 of "secret" can also show up as part of a SASL PLAIN token; its stable core
    // (without padding) is still recognisable, so mask that too.
    QByteArray core = raw.toBase64(QByteArray::OmitTrailingEquals);
    if (core.size() >= 4)
        m_description.replace(QString::fromLatin1(core), mask);
}

} // namespace orvane::mail
