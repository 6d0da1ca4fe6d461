#pragma once

#include "mail/Mailbox.h"

#include <QByteArray>
#include <QString>

namespace orvane::mail {

// Turns header values into wire form: RFC 5322 folding (lines under 78 characters where the
// text allows, never over 998), RFC 2047 encoded words for text that is not plain ASCII, and
// RFC 2231 parameters for file names. Input is expected to have passed checkHeaderText(); any
// control character left is encoded, never written raw.
class HeaderEncoder
{
public:
    static constexpr int foldColumn = 78;
    static constexpr int maxLineLength = 998;

    // "Name: value\r\n" for unstructured text such as the subject.
    static QByteArray unstructuredField(const char *name, const QString &text);
    // "Name: mailbox, mailbox\r\n".
    static QByteArray mailboxField(const char *name, const MailboxList &mailboxes);

    // One mailbox: "addr", "Ann <addr>", "\"Doe, John\" <addr>" or "=?utf-8?B?...?= <addr>".
    static QByteArray mailbox(const Mailbox &mailbox);
    // A display name as an RFC 5322 phrase.
    static QByteArray phrase(const QString &text);

    // RFC 2047 "B" encoded words for the text, each at most 75 characters, joined by
    // "\r\n " so that every line stays short. Splits only between whole characters.
    // `column` is how many characters stand before the first word on its line.
    static QByteArray encodedWords(const QString &text, int column = 1);

    // The file-name parameters of a part: `name=` for Content-Type and `filename=` for
    // Content-Disposition, each starting with "; " and possibly folded. Non-ASCII or unusual
    // names use RFC 2231 (filename*) plus an RFC 2047 name for older readers.
    static QByteArray nameParameter(const QString &fileName);
    static QByteArray filenameParameter(const QString &fileName);

    // Joins already encoded pieces with sep, breaking the line before a piece that would pass
    // the fold column. `column` is where the first piece starts.
    static QByteArray fold(const QList<QByteArray> &pieces, const QByteArray &sep, int column);

private:
    // An RFC 5322 quoted-string of printable ASCII text.
    static QByteArray quotedString(const QString &text);
    static bool isPlainFileName(const QString &fileName);
};

} // namespace orvane::mail
