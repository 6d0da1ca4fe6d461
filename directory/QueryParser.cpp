#include "QueryParser.h"

#include "QueryLexer.h"

#include <algorithm>
#include <optional>

namespace orvane::directory {

using form::Result;
using form::Status;
using form::StatusKind;

namespace {

// RFC 4515 section 3: the characters that must not appear unescaped in an assertion value
// are '*', '(', ')', '\' and NUL. Other control characters are escaped too, so the filter
// stays printable.
void appendEscaped(QByteArray &out, const QString &value)
{
    static const char hex[] = "0123456789abcdef";
    for (const char byte : value.toUtf8()) {
        const auto b = static_cast<unsigned char>(byte);
        if (b == '*' || b == '(' || b == ')' || b == '\\' || b < 0x20 || b == 0x7f) {
            out += '\\';
            out += hex[b >> 4];
            out += hex[b & 0xf];
        } else {
            out += byte;
        }
    }
}

// The start of a long text for a description, never cutting a surrogate pair in half (that
// would make the description broken text).
QString excerpt(const QString &text)
{
    qsizetype length = std::min<qsizetype>(40, text.size());
    if (length < text.size() && text.at(length - 1).isHighSurrogate())
        --length;
    return text.left(length);
}

bool isKeyChar(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || u == '-';
}

// RFC 4512 section 2.5: an attribute description is a type, either a descr (a letter, then
// letters, digits and hyphens) or a numeric OID without leading zeros, then options, each
// ";" and one or more of letters, digits and hyphens. Anything else (an underscore, "a..b")
// would make a filter the server's parser refuses.
bool isAttributeDescription(const QString &name)
{
    const QList<QStringView> parts = QStringView(name).split(u';');
    const QStringView type = parts.first();
    if (type.isEmpty())
        return false;
    if (type.front().isDigit()) {
        for (QStringView number : type.split(u'.')) {
            if (number.isEmpty() || (number.size() > 1 && number.front() == u'0'))
                return false;
            for (QChar c : number)
                if (c < u'0' || c > u'9')
                    return false;
        }
    } else {
        if (!((type.front() >= u'a' && type.front() <= u'z')
              || (type.front() >= u'A' && type.front() <= u'Z')))
            return false;
        for (QChar c : type)
            if (!isKeyChar(c))
                return false;
    }
    for (qsizetype k = 1; k < parts.size(); ++k) {
        if (parts.at(k).isEmpty())
            return false;
        for (QChar c : parts.at(k))
            if (!isKeyChar(c))
                return false;
    }
    return true;
}

class Parser
{
public:
    explicit Parser(const QString &text)
        : m_lexer(text)
    {}

    Result<Query> parse()
    {
        Query query;
        if (keyword("SELECT") && selectList(query) && keyword("FROM") && path(query) && where(query)
            && orderBy(query) && endOfQuery())
            return {Status::success(), std::move(query)};
        return m_error;
    }

private:
    void advance() { m_lexer.advance(); }

    bool isKeyword(const char *word) const
    {
        return m_token.type == QueryLexer::Type::Word
               && m_token.text.compare(QLatin1String(word), Qt::CaseInsensitive) == 0;
    }

    QString found() const
    {
        switch (m_token.type) {
        case QueryLexer::Type::End:
            return QStringLiteral("the end of the query");
        case QueryLexer::Type::String:
            return QStringLiteral("the quoted text '%1'").arg(excerpt(m_token.text));
        case QueryLexer::Type::Invalid:
            if (m_token.text == QLatin1String("'"))
                return QStringLiteral("a quote that is never closed");
            return QStringLiteral("the character \"%1\"").arg(m_token.text);
        default:
            return QStringLiteral("\"%1\"").arg(excerpt(m_token.text));
        }
    }

    bool fail(const QString &what, int at)
    {
        m_error = Status::failure(
                StatusKind::QuerySyntax, 0,
                QStringLiteral("The directory query is not valid at position %1: %2.")
                        .arg(at + 1)
                        .arg(what));
        return false;
    }
    bool expected(const QString &what)
    {
        return fail(QStringLiteral("expected %1 but found %2").arg(what, found()), m_token.start);
    }

    bool keyword(const char *word)
    {
        if (!isKeyword(word))
            return expected(QLatin1String(word));
        advance();
        return true;
    }

    bool attributeName(QString &name)
    {
        static const char *const reserved[]
                = {"SELECT", "FROM", "WHERE", "ORDER", "BY", "AND", "OR", "NOT", "ASC", "DESC"};
        bool isReserved = false;
        for (const char *word : reserved)
            isReserved = isReserved || isKeyword(word);
        const bool valid = m_token.type == QueryLexer::Type::Word && !isReserved
                           && isAttributeDescription(m_token.text);
        if (!valid)
            return expected(QStringLiteral("an attribute name"));
        name = m_token.text;
        advance();
        return true;
    }

    // --- clauses ---
    bool selectList(Query &query)
    {
        do {
            if (query.attributes.size() >= QueryParser::maxAttributes)
                return fail(QStringLiteral("more than %1 attributes in the select list")
                                    .arg(QueryParser::maxAttributes),
                            m_token.start);
            QString name;
            if (!attributeName(name))
                return false;
            query.attributes.append(name);
        } while (comma());
        return true;
    }

    bool comma()
    {
        if (m_token.type != QueryLexer::Type::Comma)
            return false;
        advance();
        return true;
    }

    bool path(Query &query)
    {
        if (m_token.type != QueryLexer::Type::String)
            return expected(QStringLiteral("the quoted path 'LDAP://server/base'"));
        const QString path = m_token.text;
        const int at = m_token.start + 1; // first character inside the quote
        const QLatin1String scheme("LDAP://");
        if (!path.startsWith(scheme, Qt::CaseInsensitive))
            return fail(QStringLiteral("the path must begin with LDAP://"), at);
        int i = scheme.size();
        const int slash = path.indexOf(u'/', i);
        const QString server = path.mid(i, slash < 0 ? -1 : slash - i);
        if (server.contains(u'='))
            return fail(QStringLiteral("the path names no server; write LDAP://server/base"),
                        at + i);
        if (server.isEmpty())
            return fail(QStringLiteral("the path names no server"), at + i);
        int hostEnd = server.size();
        if (server.startsWith(u'[')) {
            hostEnd = server.indexOf(u']') + 1;
            if (hostEnd <= 1)
                return fail(QStringLiteral("the server address lacks its closing \"]\""), at + i);
        } else if (const int colon = server.indexOf(u':'); colon >= 0) {
            hostEnd = colon;
        }
        for (int k = 0; k < hostEnd; ++k) {
            const QChar c = server.at(k);
            const bool ok = QueryLexer::isWordChar(c) || c == u'[' || c == u']'
                            || (c == u':' && server.startsWith(u'['));
            if (!ok || c == u';') {
                // Shown whole: half a surrogate pair would make the description broken text.
                const bool pair = c.isHighSurrogate() && k + 1 < server.size()
                                  && server.at(k + 1).isLowSurrogate();
                return fail(QStringLiteral("the server name contains the character \"%1\"")
                                    .arg(server.mid(k, pair ? 2 : 1)),
                            at + i + k);
            }
        }
        query.host = server.left(hostEnd);
        if (hostEnd < server.size()) {
            if (server.at(hostEnd) != u':')
                return fail(QStringLiteral("unexpected text after the server address"),
                            at + i + hostEnd);
            bool ok = false;
            const QString digits = server.mid(hostEnd + 1);
            const int port = digits.toInt(&ok);
            bool allDigits = !digits.isEmpty();
            for (const QChar c : digits)
                allDigits = allDigits && c >= u'0' && c <= u'9';
            if (!ok || !allDigits || port < 1 || port > 65535)
                return fail(QStringLiteral("the port must be a number from 1 to 65535"),
                            at + i + hostEnd + 1);
            query.port = port;
        }
        query.baseDn = slash < 0 ? QString() : path.mid(slash + 1);
        advance();
        return true;
    }

    bool where(Query &query)
    {
        if (!isKeyword("WHERE")) {
            query.filter = "(objectClass=*)";
            return true;
        }
        advance();
        return condition(query.filter, 0);
    }

    bool orderBy(Query &query)
    {
        if (!isKeyword("ORDER"))
            return true;
        advance();
        if (!keyword("BY"))
            return false;
        do {
            if (query.orderBy.size() >= std::size_t(QueryParser::maxSortKeys))
                return fail(QStringLiteral("more than %1 sort keys").arg(QueryParser::maxSortKeys),
                            m_token.start);
            SortKey key;
            if (!attributeName(key.attribute))
                return false;
            if (isKeyword("ASC") || isKeyword("DESC")) {
                key.descending = isKeyword("DESC");
                advance();
            }
            query.orderBy.push_back(key);
        } while (comma());
        return true;
    }

    bool endOfQuery()
    {
        if (m_token.type == QueryLexer::Type::End)
            return true;
        return expected(QStringLiteral("WHERE, ORDER BY or the end of the query"));
    }

    // --- conditions (recursion bounded by maxDepth) ---
    bool condition(QByteArray &filter, int depth) { return junction(filter, depth, "OR", '|'); }

    bool junction(QByteArray &filter, int depth, const char *word, char op)
    {
        QByteArray first;
        const bool isOr = op == '|';
        if (!(isOr ? junction(first, depth, "AND", '&') : unary(first, depth)))
            return false;
        if (!isKeyword(word)) {
            filter = first;
            return true;
        }
        filter = QByteArray("(") + op + first;
        while (isKeyword(word)) {
            advance();
            QByteArray next;
            if (!(isOr ? junction(next, depth, "AND", '&') : unary(next, depth)))
                return false;
            filter += next;
        }
        filter += ')';
        return true;
    }

    bool unary(QByteArray &filter, int depth)
    {
        if (depth >= QueryParser::maxDepth)
            return fail(QStringLiteral("conditions nested more than %1 deep")
                                .arg(QueryParser::maxDepth),
                        m_token.start);
        if (isKeyword("NOT")) {
            advance();
            QByteArray inner;
            if (!unary(inner, depth + 1))
                return false;
            filter = "(!" + inner + ')';
            return true;
        }
        if (m_token.type == QueryLexer::Type::LeftParen) {
            advance();
            if (!condition(filter, depth + 1))
                return false;
            if (m_token.type != QueryLexer::Type::RightParen)
                return expected(QStringLiteral("\")\""));
            advance();
            return true;
        }
        return comparison(filter);
    }

    bool comparison(QByteArray &filter)
    {
        QString attribute;
        if (!attributeName(attribute))
            return false;
        const QueryLexer::Type op = m_token.type;
        if (op != QueryLexer::Type::Equal && op != QueryLexer::Type::LessEqual
            && op != QueryLexer::Type::GreaterEqual)
            return expected(QStringLiteral("=, <= or >="));
        advance();
        if (m_token.type != QueryLexer::Type::String && m_token.type != QueryLexer::Type::Word)
            return expected(QStringLiteral("a quoted value"));
        const bool wildcards
                = op == QueryLexer::Type::Equal && m_token.type == QueryLexer::Type::String;
        const QString value = m_token.text;
        advance();

        filter = '(' + attribute.toLatin1();
        filter += op == QueryLexer::Type::Equal       ? "="
                  : op == QueryLexer::Type::LessEqual ? "<="
                                                      : ">=";
        if (!wildcards || !value.contains(u'*')) {
            appendEscaped(filter, value);
        } else {
            // RFC 4515 substring: initial, any pieces, final; runs of '*' count as one.
            const QStringList pieces = value.split(u'*');
            appendEscaped(filter, pieces.first());
            for (qsizetype k = 1; k + 1 < pieces.size(); ++k) {
                if (pieces.at(k).isEmpty())
                    continue;
                filter += '*';
                appendEscaped(filter, pieces.at(k));
            }
            filter += '*';
            appendEscaped(filter, pieces.last());
        }
        filter += ')';
        return true;
    }

    QueryLexer m_lexer;
    const QueryLexer::Token &m_token = m_lexer.token();
    Status m_error;
};

} // namespace

Result<Query> QueryParser::parse(const QString &text)
{
    if (text.size() > maxLength)
        return Status::failure(
                StatusKind::QuerySyntax, 0,
                QStringLiteral("The directory query is longer than %1 characters.").arg(maxLength));
    return Parser(text).parse();
}

} // namespace orvane::directory
