#include "LdapCommand.h"

#include "LdapConnection.h"
#include "LdapRecordset.h"
#include "QueryParser.h"
#include "detail/LdapSession.h"

#include <exception>
#include <limits>

namespace orvane::directory {

using form::Result;
using form::Status;
using form::StatusKind;

LdapCommand::LdapCommand()
{
    constexpr int maxInt = std::numeric_limits<int>::max();
    m_properties.offer(QStringLiteral("Page Size"), Value::int32(0),
                       PropertyBag::integerCheck(0, maxInt));
    m_properties.offer(QStringLiteral("Timeout"), Value::int32(0),
                       PropertyBag::integerCheck(0, 86400));
    m_properties.offer(QStringLiteral("searchscope"), Value::int32(2),
                       PropertyBag::integerCheck(0, 2));
}

Status LdapCommand::setActiveConnection(Connection &connection)
{
    auto *ldap = dynamic_cast<LdapConnection *>(&connection);
    if (!ldap)
        return Status::failure(StatusKind::InvalidState, 0,
                               QStringLiteral("The connection belongs to another provider."));
    m_connection = ldap;
    return Status::success();
}

Status LdapCommand::setCommandText(const QString &text)
{
    m_text = text;
    return Status::success();
}

Status LdapCommand::setProperty(const QString &name, const Value &value)
{
    return m_properties.set(name, value);
}

Result<std::unique_ptr<Recordset>> LdapCommand::execute(int)
{
    if (!m_connection || !m_connection->isOpen())
        return Status::failure(StatusKind::InvalidState, 0,
                               QStringLiteral("The command has no open connection."));
    // The query is checked before any server is contacted.
    auto query = QueryParser::parse(m_text);
    if (!query.ok())
        return query.status;

    const auto &options = m_connection->options();
    const std::chrono::milliseconds timeout = options.answerTimeout.value_or(
            std::chrono::seconds(m_properties.value(QStringLiteral("Timeout")).toInt()));
    const int pageSize = m_properties.value(QStringLiteral("Page Size")).toInt();
    const int scope = m_properties.value(QStringLiteral("searchscope")).toInt();
    // Connect, bind and the first page are waited for through the provider's wait; so is
    // every further page where the rows are sorted here.
    auto opened = form::waitFor(options.wait, [&]() -> Result<std::unique_ptr<LdapRecordset>> {
        try {
            auto session = m_connection->session(query.value, timeout);
            if (!session.ok())
                return session.status;
            return LdapRecordset::open(session.value, query.value, pageSize, scope);
        } catch (const std::exception &e) {
            return Status::failure(StatusKind::Internal, 0,
                                   QStringLiteral("The directory search failed: %1")
                                           .arg(QString::fromLocal8Bit(e.what())));
        }
    });
    if (!opened.ok())
        return opened.status;
    opened.value->setNetworkWait(options.wait);
    if (Status s = opened.value->readAllSorted(); !s.ok())
        return s;
    return {opened.status, std::move(opened.value)};
}

} // namespace orvane::directory
