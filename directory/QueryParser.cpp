#include "QueryParser.h"

#include "QueryLexer.h"

#include <optional>

namespace orvane::directory {

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

class Parser
{
public:
    explicit Parser(const QString &text)
        : m_lexer(text)
    {}

    Status parse(Query &query)
    {
        if (keyword("SELECT") && selectList(query) && keyword("FROM") && path(query) && where(query)
            && orderBy(query) && endOfQuery())
            return Status::success();
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
            return QStringLiteral("the quoted text '%1'").arg(m_token.text.left(40));
        case QueryLexer::Type::Invalid:
            if (m_token.text == QLatin1String("'"))
                return QStringLiteral("a quote that is never closed");
            return QStringLiteral("the character \"%1\"").arg(m_token.text);
        default:
            return QStringLiteral("\"%1\"").arg(m_token.text.left(40));
        }
    }

    bool fail(const QString &what, int at)
    {
        m_error = Status::failure(
                StatusKind::QuerySyntax,
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
                           && (m_token.text.at(0).isLetter() || m_token.text.at(0).isDigit());
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
            if (!ok || c == u';')
                return fail(QStringLiteral("the server name contains the character \"%1\"").arg(c),
                            at + i + k);
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

Status QueryParser::parse(const QString &text, Query &query)
{
    if (text.size() > maxLength)
        return Status::failure(
                StatusKind::QuerySyntax,
                QStringLiteral("The directory query is longer than %1 characters.").arg(maxLength));
    Query parsed;
    Parser parser(text);
    const Status status = parser.parse(parsed);
    if (status.ok())
        query = std::move(parsed);
    return status;
}

} // namespace orvane::directory
