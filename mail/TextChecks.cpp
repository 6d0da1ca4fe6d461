#include "TextChecks.h"

#include <QStringDecoder>

namespace orvane::mail {

using form::Result;
using form::Status;
using form::StatusKind;

bool isAscii(QStringView text)
{
    for (QChar c : text)
        if (c.unicode() > 0x7f)
            return false;
    return true;
}

Status checkHeaderText(const QString &text, const QString &what)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        const bool lineBreak = c == u'\r' || c == u'\n' || c == 0x85 || c == 0x2028 || c == 0x2029;
        if (lineBreak)
            return Status::failure(
                    StatusKind::HeaderInjection, 0,
                    QStringLiteral("The %1 \"%2\" contains a line break, which a mail header "
                                   "cannot hold. Remove it and send again.")
                            .arg(what, visibleText(text)));
        if ((c < 0x20 && c != u'\t') || c == 0x7f)
            return Status::failure(
                    StatusKind::HeaderInjection, 0,
                    QStringLiteral("The %1 \"%2\" contains a control character. Remove it and "
                                   "send again.")
                            .arg(what, visibleText(text)));
        if (QChar::isHighSurrogate(c)) {
            if (i + 1 < text.size() && QChar::isLowSurrogate(text.at(i + 1).unicode())) {
                ++i;
                continue;
            }
        }
        if (QChar::isSurrogate(c))
            return Status::failure(StatusKind::HeaderInjection, 0,
                                   QStringLiteral("The %1 is not valid Unicode text.").arg(what));
    }
    return Status::success();
}

QString visibleText(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (QChar c : text) {
        const char16_t u = c.unicode();
        if (u == u'\r')
            out += QStringLiteral("\\r");
        else if (u == u'\n')
            out += QStringLiteral("\\n");
        else if (u == u'\t')
            out += QStringLiteral("\\t");
        else if (u < 0x20 || u == 0x7f || u == 0x85 || u == 0x2028 || u == 0x2029)
            out += QStringLiteral("\\x%1").arg(int(u), 2, 16, QLatin1Char('0'));
        else
            out += c;
    }
    return out;
}

Result<QString> decodeUtf8Strict(const QByteArray &bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return Status::failure(StatusKind::HeaderInjection, 0,
                               QStringLiteral("The text is not valid UTF-8."));
    return {Status::success(), text};
}

} // namespace orvane::mail
