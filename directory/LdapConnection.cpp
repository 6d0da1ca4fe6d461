#include "LdapConnection.h"

#include "detail/LdapSession.h"

namespace orvane::directory {

using form::Result;
using form::Status;
using form::StatusKind;

namespace {
const QString userIdName = QStringLiteral("User ID");
const QString passwordName = QStringLiteral("Password");
} // namespace

LdapConnection::LdapConnection(LdapProviderOptions options)
    : m_options(std::move(options))
{}

LdapConnection::~LdapConnection() = default;

Status LdapConnection::setProvider(const QString &provider)
{
    if (m_open)
        return Status::failure(
                StatusKind::InvalidState, 0,
                QStringLiteral("The provider cannot change while the connection is open."));
    if (provider.compare(QLatin1String(providerName), Qt::CaseInsensitive) != 0)
        return Status::failure(StatusKind::ProviderUnavailable, 0,
                               QStringLiteral("The provider \"%1\" is not available; this program "
                                              "offers only the directory provider \"%2\".")
                                       .arg(provider, QLatin1String(providerName)));
    if (!m_providerChosen) {
        m_properties.offer(userIdName, Value::text(QString()), PropertyBag::textCheck());
        m_properties.offer(passwordName, Value::text(QString()), PropertyBag::textCheck());
        m_providerChosen = true;
    }
    return Status::success();
}

Status LdapConnection::setProperty(const QString &name, const Value &value)
{
    return m_properties.set(name, value);
}

Status LdapConnection::open(const QString &, const QString &userId, const QString &password, int)
{
    if (!m_providerChosen)
        return Status::failure(StatusKind::InvalidState, 0,
                               QStringLiteral("The connection has no provider; choose \"%1\" "
                                              "before opening it.")
                                       .arg(QLatin1String(providerName)));
    // User name and password given to open() take the place of the properties.
    if (!userId.isEmpty())
        m_properties.set(userIdName, Value::text(userId));
    if (!password.isEmpty())
        m_properties.set(passwordName, Value::text(password));
    const QString user = m_properties.value(userIdName).toText();
    if (!user.isEmpty() && m_properties.value(passwordName).toText().isEmpty())
        // RFC 4513 section 5.1.2: a name with an empty password is an unauthenticated bind,
        // which servers treat as anonymous or refuse. Say so instead of searching as nobody.
        return Status::failure(StatusKind::CredentialsRefused, 0,
                               QStringLiteral("No password was given for the directory user "
                                              "\"%1\". Enter the password, or leave the user "
                                              "name empty to search anonymously.")
                                       .arg(user));
    m_open = true;
    return Status::success();
}

Result<std::shared_ptr<detail::LdapSession>>
LdapConnection::session(const Query &query, std::chrono::milliseconds timeout)
{
    if (!m_open)
        return Status::failure(StatusKind::InvalidState, 0,
                               QStringLiteral("The connection is not open."));
    const detail::LdapSession::Credentials credentials{m_properties.value(userIdName).toText(),
                                                       m_properties.value(passwordName).toText()};
    auto opened = detail::LdapSession::open(query, credentials, m_options, timeout);
    if (!opened.ok())
        return opened.status;
    m_sessions.push_back(opened.value);
    return opened;
}

} // namespace orvane::directory
