// Fuzz target: the directory query dialect. An accepted query yields a filter that libldap's
// own filter parser takes (checked offline, by encoding it into a BER element), every
// compared value sits in it escaped, nesting and size stay bounded; a refused query names a
// position in its text.
#include "FuzzCheck.h"
#include "directory/QueryLexer.h"
#include "directory/QueryParser.h"

#include <QList>
#include <QRegularExpression>

#include <cstddef>
#include <cstdint>
#include <lber.h>
#include <ldap.h>
#include <memory>

// Exported by libldap (the string-to-BER filter encoder every search uses) but not declared
// in its public headers.
extern "C" int ldap_pvt_put_filter(BerElement *ber, const char *str);

using namespace orvane;
using directory::QueryLexer;
using fuzz::require;

namespace {

constexpr qsizetype maxInput = 4096;
constexpr char wildcard = '\xff'; // never a byte of UTF-8, so it cannot stand for text

struct Comparison
{
    QByteArray attribute;
    QByteArray op;
    QByteArray value; // escapes resolved, a wildcard as `wildcard`
};

struct BerFree
{
    void operator()(BerElement *ber) const { ber_free(ber, 1); }
};

bool libldapAccepts(const QByteArray &filter)
{
    std::unique_ptr<BerElement, BerFree> ber(ber_alloc_t(LBER_USE_DER));
    require(ber != nullptr, "ber_alloc_t");
    return ldap_pvt_put_filter(ber.get(), filter.constData()) == 0;
}

int hexValue(char c)
{
    const int i = QByteArray("0123456789abcdef").indexOf(char(QChar::toLower(uint(c))));
    return i;
}

// An RFC 4515 reader of our own, to see what the filter says: it collects the comparisons in
// order, resolving escapes, and fails on any unescaped special character inside a value.
bool readFilter(const QByteArray &f, qsizetype &pos, QList<Comparison> &out, int depth,
                int &maxDepth)
{
    maxDepth = std::max(maxDepth, depth);
    if (pos >= f.size() || f.at(pos) != '(')
        return false;
    ++pos;
    if (pos < f.size() && (f.at(pos) == '&' || f.at(pos) == '|' || f.at(pos) == '!')) {
        const char op = f.at(pos++);
        int count = 0;
        while (pos < f.size() && f.at(pos) == '(') {
            if (!readFilter(f, pos, out, depth + 1, maxDepth))
                return false;
            ++count;
        }
        if (count == 0 || (op == '!' && count != 1))
            return false;
    } else {
        Comparison c;
        while (pos < f.size() && !QByteArray("=<>~()").contains(f.at(pos)))
            c.attribute += f.at(pos++);
        if (pos < f.size() && (f.at(pos) == '<' || f.at(pos) == '>'))
            c.op += f.at(pos++);
        if (pos >= f.size() || f.at(pos) != '=')
            return false;
        c.op += f.at(pos++);
        while (pos < f.size() && f.at(pos) != ')') {
            const char b = f.at(pos++);
            if (b == '(' || b == '\0' || b == wildcard)
                return false;
            if (b == '*') {
                c.value += wildcard;
            } else if (b == '\\') {
                if (pos + 1 >= f.size() || hexValue(f.at(pos)) < 0 || hexValue(f.at(pos + 1)) < 0)
                    return false;
                c.value += char(hexValue(f.at(pos)) * 16 + hexValue(f.at(pos + 1)));
                pos += 2;
            } else {
                c.value += b;
            }
        }
        out.append(c);
    }
    if (pos >= f.size() || f.at(pos) != ')')
        return false;
    ++pos;
    return true;
}

// The comparisons as the query states them, read with the dialect's lexer.
QList<Comparison> comparisonsOf(const QString &text)
{
    QList<QueryLexer::Token> tokens;
    for (QueryLexer lexer(text); lexer.token().type != QueryLexer::Type::End; lexer.advance())
        tokens.append(lexer.token());
    QList<Comparison> out;
    int depth = 0;
    for (const QueryLexer::Token &token : tokens) {
        depth += token.type == QueryLexer::Type::LeftParen ? 1 : 0;
        depth -= token.type == QueryLexer::Type::RightParen ? 1 : 0;
        require(depth <= directory::QueryParser::maxDepth, "no query nested deeper than the cap",
                "query: " + fuzz::show(text));
    }
    for (qsizetype i = 1; i + 1 < tokens.size(); ++i) {
        const QueryLexer::Type type = tokens.at(i).type;
        if (type != QueryLexer::Type::Equal && type != QueryLexer::Type::LessEqual
            && type != QueryLexer::Type::GreaterEqual)
            continue;
        const QueryLexer::Token &value = tokens.at(i + 1);
        Comparison c{tokens.at(i - 1).text.toUtf8(), tokens.at(i).text.toUtf8(),
                     value.text.toUtf8()};
        if (type == QueryLexer::Type::Equal && value.type == QueryLexer::Type::String) {
            // Every '*' of a quoted value is a wildcard, and a run of them is one.
            static const QRegularExpression stars(QStringLiteral("\\*+"));
            c.value = QString(value.text).replace(stars, QStringLiteral("\uffff")).toUtf8();
            c.value.replace("\xef\xbf\xbf", QByteArray(1, wildcard));
        }
        out.append(c);
    }
    return out;
}

void checkAccepted(const QString &text, const directory::Query &query)
{
    const QByteArray &filter = query.filter;
    const QByteArray context = "query: " + fuzz::show(text) + "\nfilter: " + filter;
    require(libldapAccepts(filter), "libldap's filter parser accepts the filter", context);
    require(filter.size() <= 3 * text.toUtf8().size() + 16, "the filter stays bounded", context);

    QList<Comparison> found;
    qsizetype pos = 0;
    int depth = 0;
    require(readFilter(filter, pos, found, 1, depth) && pos == filter.size(),
            "the filter is one well-formed RFC 4515 filter, values escaped", context);
    require(depth <= 2 * directory::QueryParser::maxDepth + 1, "nesting stays capped", context);

    const QList<Comparison> stated = comparisonsOf(text);
    if (stated.isEmpty()) {
        require(filter == "(objectClass=*)", "no condition matches every entry", context);
        return;
    }
    require(found.size() == stated.size(), "one filter item per comparison", context);
    for (qsizetype i = 0; i < found.size(); ++i) {
        require(found.at(i).attribute == stated.at(i).attribute
                        && found.at(i).op == stated.at(i).op,
                "each item compares the stated attribute", context);
        require(found.at(i).value == stated.at(i).value,
                "each value is in the filter exactly, escaped", context);
    }
}

void checkRefused(const QString &text, const form::Status &status)
{
    const QByteArray context = "query: " + fuzz::show(text) + "\n" + status.description.toUtf8();
    require(status.kind == form::StatusKind::QuerySyntax, "a refusal is a syntax error", context);
    require(status.description.isValidUtf16(), "the description is whole text", context);
    static const QRegularExpression position(QStringLiteral("at position (\\d+)"));
    const QRegularExpressionMatch match = position.match(status.description);
    require(match.hasMatch(), "a refusal names a position", context);
    const qsizetype at = match.captured(1).toLongLong();
    require(at >= 1 && at <= text.size() + 1, "the position is inside the text (or its end)",
            context);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > std::size_t(maxInput))
        return 0;
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    const form::Result<directory::Query> query = directory::QueryParser::parse(text);
    if (query.ok())
        checkAccepted(text, query.value);
    else
        checkRefused(text, query.status);

    // The same text padded past the length cap is refused whatever it says (checked now and
    // then: building 64 K characters on every run would slow the fuzzing down sevenfold).
    static unsigned runs = 0;
    if (runs++ % 256 != 0)
        return 0;
    const QString padded
            = text + QString(directory::QueryParser::maxLength + 1 - text.size(), u' ');
    require(!directory::QueryParser::parse(padded).ok(), "the length cap holds",
            "query: " + fuzz::show(text));
    return 0;
}
