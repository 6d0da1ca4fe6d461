#include "Redaction.h"

namespace orvane::mail {

void redact(form::Status &status, const QString &secret)
{
    // Very short secrets would blank out ordinary words and give away little if shown.
    if (secret.size() < 4)
        return;
    status.description.replace(secret, QStringLiteral("****"));
    redactEncoded(status, secret.toUtf8());
}

void redactEncoded(form::Status &status, const QByteArray &raw)
{
    if (raw.size() < 4)
        return;
    const QString mask = QStringLiteral("****");
    status.description.replace(QString::fromLatin1(raw.toBase64()), mask);
    status.description.replace(QString::fromLatin1(raw.toBase64(QByteArray::OmitTrailingEquals)),
                               mask);
}

} // namespace orvane::mail
