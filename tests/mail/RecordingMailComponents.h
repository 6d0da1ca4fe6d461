#pragma once

#include "mail/CdoFields.h"
#include "mail/MailComponents.h"

#include <QStringList>

#include <map>
#include <memory>

namespace orvane::test {

// Mail components that do nothing but record each call, in order, into a shared log (the
// RecordingForm's, so that form reads and component calls interleave as they happened).
// Lines: "createMessage", "field smtpserver", "setValue smtpserver=text:host", "updateFields",
// "setTo <text>", "fileExists <path>", "addAttachment <path>|<user>|<password>", "send",
// "release Message", ... A call named in failures fails with that status.
class RecordingMailComponents : public mail::MailComponents
{
public:
    explicit RecordingMailComponents(QStringList &log)
        : m_log(log)
    {}

    std::map<QString, form::Status> failures; // by verb, e.g. "send"
    bool fileExistsAnswer = true;
    int alive = 0; // component objects not yet released

    form::Result<std::unique_ptr<mail::Message>> createMessage() override
    {
        if (auto failure = failed(QStringLiteral("createMessage")))
            return *failure;
        return {form::Status::success(), std::make_unique<FakeMessage>(*this)};
    }

    form::Result<std::unique_ptr<mail::FileSystem>> createFileSystem() override
    {
        if (auto failure = failed(QStringLiteral("createFileSystem")))
            return *failure;
        return {form::Status::success(), std::make_unique<FakeFileSystem>(*this)};
    }

private:
    // Logs the call; returns the configured failure for its verb, if any.
    std::optional<form::Status> failed(const QString &line)
    {
        m_log.append(line);
        const auto it = failures.find(line.section(u' ', 0, 0));
        if (it == failures.end())
            return std::nullopt;
        return it->second;
    }
    form::Status status(const QString &line)
    {
        return failed(line).value_or(form::Status::success());
    }

    struct Lifetime
    {
        Lifetime(RecordingMailComponents &owner, QString name)
            : owner(owner)
            , name(std::move(name))
        {
            ++owner.alive;
        }
        ~Lifetime()
        {
            --owner.alive;
            owner.m_log.append(QStringLiteral("release ") + name);
        }
        RecordingMailComponents &owner;
        QString name;
    };

    class FakeField : public mail::ConfigField
    {
    public:
        FakeField(RecordingMailComponents &owner, QString shortName)
            : m_owner(owner)
            , m_shortName(std::move(shortName))
        {}
        form::Status setValue(const mail::FieldValue &value) override
        {
            return m_owner.status(QStringLiteral("setValue %1=%2")
                                          .arg(m_shortName, mail::describeFieldValue(value)));
        }

    private:
        RecordingMailComponents &m_owner;
        QString m_shortName;
    };

    class FakeMessage : public mail::Message
    {
    public:
        explicit FakeMessage(RecordingMailComponents &owner)
            : m_owner(owner)
            , m_lifetime(owner, QStringLiteral("Message"))
        {}
        form::Result<std::unique_ptr<mail::ConfigField>>
        configurationField(const QString &fullName) override
        {
            const QString prefix = QLatin1String(mail::cdo::configurationNamespace);
            // A name outside the namespace is logged as such, so a test sees it.
            const QString shortName = fullName.startsWith(prefix)
                                              ? fullName.mid(prefix.size())
                                              : QStringLiteral("BAD:") + fullName;
            if (auto failure = m_owner.failed(QStringLiteral("field ") + shortName))
                return *failure;
            return {form::Status::success(), std::make_unique<FakeField>(m_owner, shortName)};
        }
        form::Status updateFields() override { return m_owner.status("updateFields"); }
        form::Status setTo(const QString &to) override { return m_owner.status("setTo " + to); }
        form::Status setFrom(const QString &from) override
        {
            return m_owner.status("setFrom " + from);
        }
        form::Status setSubject(const QString &subject) override
        {
            return m_owner.status("setSubject " + subject);
        }
        form::Status setTextBody(const QString &body) override
        {
            return m_owner.status("setTextBody " + body);
        }
        form::Status addAttachment(const QString &path, const QString &user,
                                   const QString &password) override
        {
            return m_owner.status(
                    QStringLiteral("addAttachment %1|%2|%3").arg(path, user, password));
        }
        form::Status send() override { return m_owner.status("send"); }
        void setProgress(Progress) override {}

    private:
        RecordingMailComponents &m_owner;
        Lifetime m_lifetime;
    };

    class FakeFileSystem : public mail::FileSystem
    {
    public:
        explicit FakeFileSystem(RecordingMailComponents &owner)
            : m_owner(owner)
            , m_lifetime(owner, QStringLiteral("FileSystem"))
        {}
        form::Result<bool> fileExists(const QString &path) override
        {
            if (auto failure = m_owner.failed("fileExists " + path))
                return {*failure, false};
            return {form::Status::success(), m_owner.fileExistsAnswer};
        }

    private:
        RecordingMailComponents &m_owner;
        Lifetime m_lifetime;
    };

    QStringList &m_log;
};

} // namespace orvane::test
