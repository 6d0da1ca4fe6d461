#include "AddressLexer.h"

namespace orvane::mail {

namespace {

bool opens(QChar c, AddressLexer::Mode mode)
{
    using Mode = AddressLexer::Mode;
    if (c == u'"')
        return true;
    if (mode == Mode::QuotesOnly)
        return false;
    if (c == u'(')
        return mode == Mode::Mailbox;
    return QStringView(u"[<>,;").contains(c);
}

} // namespace

AddressLexer::AddressLexer(QStringView text)
    : m_text(text)
{}

QStringView AddressLexer::quotedInner(const Token &token)
{
    return token.raw.mid(1, token.raw.size() - (token.closed ? 2 : 1));
}

AddressLexer::Token AddressLexer::next(Mode mode)
{
    if (m_pos >= m_text.size())
        return Token{Type::End, {}, {}, true, m_pos};
    const QChar c = m_text.at(m_pos);
    if (!opens(c, mode))
        return text(mode);
    if (c == u'"')
        return escaped(Type::QuotedString, u'"');
    if (c == u'(')
        return escaped(Type::Comment, u')');
    if (c == u'[')
        return literal();
    const Type type = c == u'<' ? Type::LeftAngle : c == u'>' ? Type::RightAngle : Type::Separator;
    Token token{type, m_text.mid(m_pos, 1), {}, true, m_pos};
    ++m_pos;
    return token;
}

// A quoted string (RFC 5322 section 3.2.4) or a comment (section 3.2.2): a backslash takes the
// next character as it is; comments nest.
AddressLexer::Token AddressLexer::escaped(Type type, QChar close)
{
    Token token{type, {}, {}, false, m_pos};
    int depth = 1;
    qsizetype i = m_pos + 1;
    while (i < m_text.size()) {
        const QChar c = m_text.at(i);
        if (c == u'\\' && i + 1 < m_text.size()) {
            token.content += m_text.at(i + 1);
            i += 2;
            continue;
        }
        ++i;
        if (type == Type::Comment && c == u'(') {
            ++depth;
        } else if (c == close && --depth == 0) {
            token.closed = true;
            break;
        }
        token.content += c;
    }
    token.raw = m_text.mid(m_pos, i - m_pos);
    m_pos = i;
    return token;
}

// A domain literal's text is plain (RFC 5322 section 3.4.1 dtext): quotes, brackets and
// separators included, up to the first "]".
AddressLexer::Token AddressLexer::literal()
{
    const qsizetype close = m_text.indexOf(u']', m_pos);
    const qsizetype end = close < 0 ? m_text.size() : close + 1;
    Token token{Type::DomainLiteral, m_text.mid(m_pos, end - m_pos), {}, close >= 0, m_pos};
    m_pos = end;
    return token;
}

AddressLexer::Token AddressLexer::text(Mode mode)
{
    qsizetype end = m_pos + 1;
    while (end < m_text.size() && !opens(m_text.at(end), mode))
        ++end;
    Token token{Type::Text, m_text.mid(m_pos, end - m_pos), {}, true, m_pos};
    m_pos = end;
    return token;
}

} // namespace orvane::mail
