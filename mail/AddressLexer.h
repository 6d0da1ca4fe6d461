#pragma once

#include <QString>
#include <QStringView>

namespace orvane::mail {

// Splits typed address text into the pieces RFC 5322 section 3.2 gives it, one at a time: quoted
// strings (backslash escapes the next character), comments (nested, with the same escapes),
// domain literals (section 3.4.1: plain text up to the first "]"), angle brackets, the list
// separators "," and ";", and runs of everything else. A construct left open runs to the end
// of the text and says so. The list splitter, the mailbox parser and the address check all
// read through it, so they agree on where a quote or a comment ends.
class AddressLexer
{
public:
    enum class Type {
        End,
        Text,
        QuotedString,
        Comment,
        DomainLiteral,
        LeftAngle,
        RightAngle,
        Separator
    };

    // Which constructs open where the reader is.
    enum class Mode {
        Mailbox,    // all of them
        AngleAddr,  // between < and >, where "(" is plain text
        QuotesOnly, // finding the @ of a bare address: only a quoted string hides one
    };

    struct Token
    {
        Type type = Type::End;
        QStringView raw;     // as typed, delimiters included
        QString content;     // of a quoted string or comment: the text inside, escapes resolved
        bool closed = true;  // false for a quoted string, comment or literal left open
        qsizetype start = 0; // index in the text
    };

    // The text must outlive the lexer and its tokens.
    explicit AddressLexer(QStringView text);

    Token next(Mode mode = Mode::Mailbox);

    // A quoted string's text between its quotes, escapes as typed.
    static QStringView quotedInner(const Token &token);

private:
    Token escaped(Type type, QChar close);
    Token literal();
    Token text(Mode mode);

    QStringView m_text;
    qsizetype m_pos = 0;
};

} // namespace orvane::mail
