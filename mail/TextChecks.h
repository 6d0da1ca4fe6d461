#pragma once

#include "form/Status.h"

#include <QByteArray>
#include <QString>

namespace orvane::mail {

bool isAscii(QStringView text);

// Fails (form::StatusKind::HeaderInjection) when text bound for a header or the SMTP envelope holds
// a line break (CR, LF, NEL, U+2028/9), NUL or another control character other than tab, or a
// broken UTF-16 surrogate. `what` names the value in the description ("subject", "address").
form::Status checkHeaderText(const QString &text, const QString &what);

// The text with control characters shown as \r, \n, \t or \xNN, for descriptions.
QString visibleText(const QString &text);

// Decodes UTF-8, failing on any malformed sequence instead of substituting U+FFFD.
form::Result<QString> decodeUtf8Strict(const QByteArray &bytes);

} // namespace orvane::mail
