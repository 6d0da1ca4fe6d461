#pragma once

#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

namespace orvane::test {

// The tests' own scripted LDAP server (scripted_ldap.py, run with /usr/bin/python3 and
// Debian's pyasn1): one scenario of misbehaviour a run, on a free port of 127.0.0.1. It writes
// its port to a file once it listens (the kernel queues a connection until it accepts, so no
// probe is needed), ends by itself after two minutes, and is stopped by PID when this object
// goes away.
class ScriptedLdapServer
{
public:
    struct Script
    {
        QString scenario = QStringLiteral("normal"); // see scripted_ldap.py
        int entries = 0;
        bool sorts = false; // the server sorts and says so; otherwise it ignores the request
    };

    ~ScriptedLdapServer();

    // Empty when /usr/bin/python3 can import pyasn1 and its rfc2251 module, else why not.
    static QString missingPrerequisite();

    // Empty on success, else what went wrong.
    QString start(const Script &script);
    void stop();

    int port() const { return m_port; }
    // The requests the server has answered or is answering, in order ("connect", "bind",
    // "search" with its page size, cookie and sort keys, "drop", "stall", ...).
    QList<QJsonObject> log() const;
    QList<QJsonObject> events(const QString &event) const;

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    int m_port = 0;
};

} // namespace orvane::test
