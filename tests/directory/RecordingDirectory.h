#pragma once

#include "directory/DirectoryComponents.h"

#include <QStringList>

#include <map>
#include <memory>
#include <vector>

namespace orvane::test {

// A fake data-access layer that records every call, in order, as one line
// ("Connection.setProperty User ID=Text:alice"), and fails the call named in failures.
class RecordingDirectory : public directory::DirectoryComponents
{
public:
    struct Shared
    {
        QStringList calls;
        std::map<QString, form::Status> failures; // by call name, e.g. "Command.execute"
        std::vector<directory::Value> mails;      // the rows' "Mail" values
        int failMoveNextAt = -1;                  // row index whose moveNext fails

        form::Status record(const QString &name, const QString &arguments = QString())
        {
            calls.append(arguments.isNull() ? name : name + u' ' + arguments);
            const auto it = failures.find(name);
            return it == failures.end() ? form::Status::success() : it->second;
        }
    };

    form::Result<std::unique_ptr<directory::Connection>> createConnection() override;
    form::Result<std::unique_ptr<directory::Command>> createCommand() override;

    static QString describe(const directory::Value &value)
    {
        return QString::fromLatin1(directory::typeName(value.type())) + u':' + value.toText();
    }

    std::shared_ptr<Shared> shared = std::make_shared<Shared>();
};

namespace detail {

class FakeRecordset : public directory::Recordset
{
public:
    explicit FakeRecordset(std::shared_ptr<RecordingDirectory::Shared> shared)
        : m_shared(std::move(shared))
    {}
    ~FakeRecordset() override { m_shared->calls.append(QStringLiteral("~Recordset")); }
    bool eof() const override
    {
        m_shared->calls.append(QStringLiteral("Recordset.eof"));
        return m_row >= m_shared->mails.size();
    }
    form::Result<directory::Value> field(const QString &name) const override
    {
        const form::Status status = m_shared->record(QStringLiteral("Recordset.field"), name);
        if (name.compare(QLatin1String("mail"), Qt::CaseInsensitive) == 0)
            return {status, m_shared->mails.at(m_row)};
        return {status, directory::Value()};
    }
    form::Status moveNext() override
    {
        if (int(m_row) == m_shared->failMoveNextAt) {
            m_shared->calls.append(QStringLiteral("Recordset.moveNext"));
            return form::Status::failure(form::StatusKind::ServerError, -1,
                                         QStringLiteral("page 2 lost"));
        }
        ++m_row;
        return m_shared->record(QStringLiteral("Recordset.moveNext"));
    }

private:
    std::shared_ptr<RecordingDirectory::Shared> m_shared;
    std::size_t m_row = 0;
};

class FakeConnection : public directory::Connection
{
public:
    explicit FakeConnection(std::shared_ptr<RecordingDirectory::Shared> shared)
        : m_shared(std::move(shared))
    {}
    ~FakeConnection() override { m_shared->calls.append(QStringLiteral("~Connection")); }
    form::Status setProvider(const QString &provider) override
    {
        return m_shared->record(QStringLiteral("Connection.setProvider"), provider);
    }
    form::Status setProperty(const QString &name, const directory::Value &value) override
    {
        return m_shared->record(QStringLiteral("Connection.setProperty"),
                                name + u'=' + RecordingDirectory::describe(value));
    }
    form::Status open(const QString &source, const QString &user, const QString &password,
                      int options) override
    {
        return m_shared->record(
                QStringLiteral("Connection.open"),
                QStringLiteral("%1|%2|%3|%4").arg(source, user, password).arg(options));
    }

private:
    std::shared_ptr<RecordingDirectory::Shared> m_shared;
};

class FakeCommand : public directory::Command
{
public:
    explicit FakeCommand(std::shared_ptr<RecordingDirectory::Shared> shared)
        : m_shared(std::move(shared))
    {}
    ~FakeCommand() override { m_shared->calls.append(QStringLiteral("~Command")); }
    form::Status setActiveConnection(directory::Connection &connection) override
    {
        const bool isFake = dynamic_cast<FakeConnection *>(&connection) != nullptr;
        return m_shared->record(QStringLiteral("Command.setActiveConnection"),
                                isFake ? QStringLiteral("the connection") : QStringLiteral("?"));
    }
    form::Status setCommandText(const QString &text) override
    {
        return m_shared->record(QStringLiteral("Command.setCommandText"), text);
    }
    form::Status setProperty(const QString &name, const directory::Value &value) override
    {
        return m_shared->record(QStringLiteral("Command.setProperty"),
                                name + u'=' + RecordingDirectory::describe(value));
    }
    form::Result<std::unique_ptr<directory::Recordset>> execute(int options) override
    {
        const form::Status status
                = m_shared->record(QStringLiteral("Command.execute"), QString::number(options));
        if (!status.ok())
            return status;
        return {status, std::make_unique<FakeRecordset>(m_shared)};
    }

private:
    std::shared_ptr<RecordingDirectory::Shared> m_shared;
};

} // namespace detail

inline form::Result<std::unique_ptr<directory::Connection>> RecordingDirectory::createConnection()
{
    const form::Status status = shared->record(QStringLiteral("createConnection"));
    if (!status.ok())
        return status;
    return {status, std::make_unique<detail::FakeConnection>(shared)};
}

inline form::Result<std::unique_ptr<directory::Command>> RecordingDirectory::createCommand()
{
    const form::Status status = shared->record(QStringLiteral("createCommand"));
    if (!status.ok())
        return status;
    return {status, std::make_unique<detail::FakeCommand>(shared)};
}

} // namespace orvane::test
