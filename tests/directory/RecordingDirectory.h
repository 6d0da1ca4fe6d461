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
        std::map<QString, directory::Status> failures; // by call name, e.g. "Command.execute"
        std::vector<directory::Value> mails;           // the rows' "Mail" values
        int failMoveNextAt = -1;                       // row index whose moveNext fails

        directory::Status record(const QString &name, const QString &arguments = QString())
        {
            calls.append(arguments.isNull() ? name : name + u' ' + arguments);
            const auto it = failures.find(name);
            return it == failures.end() ? directory::Status::success() : it->second;
        }
    };

    directory::Status createConnection(std::unique_ptr<directory::Connection> &connection) override;
    directory::Status createCommand(std::unique_ptr<directory::Command> &command) override;

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
    directory::Status field(const QString &name, directory::Value &value) const override
    {
        const directory::Status status = m_shared->record(QStringLiteral("Recordset.field"), name);
        if (name.compare(QLatin1String("mail"), Qt::CaseInsensitive) == 0)
            value = m_shared->mails.at(m_row);
        return status;
    }
    directory::Status moveNext() override
    {
        if (int(m_row) == m_shared->failMoveNextAt) {
            m_shared->calls.append(QStringLiteral("Recordset.moveNext"));
            return directory::Status::failure(directory::StatusKind::ServerError,
                                              QStringLiteral("page 2 lost"), -1);
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
    directory::Status setProvider(const QString &provider) override
    {
        return m_shared->record(QStringLiteral("Connection.setProvider"), provider);
    }
    directory::Status setProperty(const QString &name, const directory::Value &value) override
    {
        return m_shared->record(QStringLiteral("Connection.setProperty"),
                                name + u'=' + RecordingDirectory::describe(value));
    }
    directory::Status open(const QString &source, const QString &user, const QString &password,
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
    directory::Status setActiveConnection(directory::Connection &connection) override
    {
        const bool isFake = dynamic_cast<FakeConnection *>(&connection) != nullptr;
        return m_shared->record(QStringLiteral("Command.setActiveConnection"),
                                isFake ? QStringLiteral("the connection") : QStringLiteral("?"));
    }
    directory::Status setCommandText(const QString &text) override
    {
        return m_shared->record(QStringLiteral("Command.setCommandText"), text);
    }
    directory::Status setProperty(const QString &name, const directory::Value &value) override
    {
        return m_shared->record(QStringLiteral("Command.setProperty"),
                                name + u'=' + RecordingDirectory::describe(value));
    }
    directory::Status execute(std::unique_ptr<directory::Recordset> &rows, int options) override
    {
        const directory::Status status
                = m_shared->record(QStringLiteral("Command.execute"), QString::number(options));
        if (status.ok())
            rows = std::make_unique<FakeRecordset>(m_shared);
        return status;
    }

private:
    std::shared_ptr<RecordingDirectory::Shared> m_shared;
};

} // namespace detail

inline directory::Status
RecordingDirectory::createConnection(std::unique_ptr<directory::Connection> &connection)
{
    const directory::Status status = shared->record(QStringLiteral("createConnection"));
    if (status.ok())
        connection = std::make_unique<detail::FakeConnection>(shared);
    return status;
}

inline directory::Status
RecordingDirectory::createCommand(std::unique_ptr<directory::Command> &command)
{
    const directory::Status status = shared->record(QStringLiteral("createCommand"));
    if (status.ok())
        command = std::make_unique<detail::FakeCommand>(shared);
    return status;
}

} // namespace orvane::test
