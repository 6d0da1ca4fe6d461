#pragma once

#include "form/Status.h"

#include <QByteArray>
#include <QString>

namespace orvane::mail {

// Removes a secret, and its base64 form, that a server might have echoed back into the
// status's description.
void redact(form::Status &status, const QString &secret);

// Removes the base64 form of raw bytes, e.g. a SASL PLAIN token (RFC 4616).
void redactEncoded(form::Status &status, const QByteArray &raw);

} // namespace orvane::mail
