#include "QueryLexer.h"

namespace orvane::directory {

QueryLexer::QueryLexer(const QString &text)
    : m_text(text)
{
    advance();
}

bool QueryLexer::isWordChar(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || u == '-'
           || u == '_' || u == '.' || u == ';';
}

void QueryLexer::advance()
{
    const int n = int(m_text.size());
    while (m_pos < n && m_text.at(m_pos).isSpace())
        ++m_pos;
    m_token = Token{Type::End, QString(), m_pos};
    if (m_pos >= n)
        return;
    const QChar c = m_text.at(m_pos);
    auto single = [&](Type type, int length) {
        m_token.type = type;
        m_token.text = m_text.mid(m_pos, length);
        m_pos += length;
    };
    const QChar next = m_pos + 1 < n ? m_text.at(m_pos + 1) : QChar();
    if (c == u'\'') {
        const int close = int(m_text.indexOf(u'\'', m_pos + 1));
        if (close < 0) {
            m_token.type = Type::Invalid;
            m_token.text = QStringLiteral("'");
            m_pos = n;
            return;
        }
        m_token.type = Type::String;
        m_token.text = m_text.mid(m_pos + 1, close - m_pos - 1);
        m_pos = close + 1;
    } else if (c == u',') {
        single(Type::Comma, 1);
    } else if (c == u'(') {
        single(Type::LeftParen, 1);
    } else if (c == u')') {
        single(Type::RightParen, 1);
    } else if (c == u'=') {
        single(Type::Equal, 1);
    } else if (c == u'<' && next == u'=') {
        single(Type::LessEqual, 2);
    } else if (c == u'>' && next == u'=') {
        single(Type::GreaterEqual, 2);
    } else if (isWordChar(c)) {
        int end = m_pos;
        while (end < n && isWordChar(m_text.at(end)))
            ++end;
        single(Type::Word, end - m_pos);
    } else {
        single(Type::Invalid, c.isHighSurrogate() && m_pos + 1 < n ? 2 : 1);
    }
}

} // namespace orvane::directory
