#pragma once

#include <QString>

namespace orvane::directory {

// Splits a directory query into tokens, one at a time. A quoted text runs to the next quote
// (there is no escape for a quote inside it); a quote that is never closed is an Invalid
// token, as is any character the dialect does not use.
class QueryLexer
{
public:
    enum class Type {
        End,
        Word,
        String,
        Comma,
        LeftParen,
        RightParen,
        Equal,
        LessEqual,
        GreaterEqual,
        Invalid
    };

    struct Token
    {
        Type type = Type::End;
        QString text;  // a word, the content of a quoted text, or the character(s)
        int start = 0; // index in the query text
    };

    explicit QueryLexer(const QString &text);

    const Token &token() const { return m_token; }
    void advance();

    // Characters of keywords, attribute names, bare values and server names.
    static bool isWordChar(QChar c);

private:
    const QString &m_text;
    int m_pos = 0;
    Token m_token;
};

} // namespace orvane::directory
