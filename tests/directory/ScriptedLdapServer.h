#pragma once

#include "support/ScriptServer.h"

#include <QJsonObject>
#include <QList>
#include <QString>

namespace orvane::test {

// The tests' own scripted LDAP server (scripted_ldap.py, with Debian's pyasn1): one scenario
// of misbehaviour a run. It ends by itself after two minutes.
class ScriptedLdapServer : public ScriptServer
{
public:
    struct Script
    {
        QString scenario = QStringLiteral("normal"); // see scripted_ldap.py
        int entries = 0;
        bool sorts = false; // the server sorts and says so; otherwise it ignores the request
    };

    // Empty when /usr/bin/python3 can import pyasn1 and its rfc2251 module, else why not.
    static QString missingPrerequisite();

    // Empty on success, else what went wrong.
    QString start(const Script &script);

    // The requests the server has answered or is answering, in order ("connect", "bind",
    // "search" with its page size, cookie and sort keys, "drop", "stall", ...).
    QList<QJsonObject> log() const;
    QList<QJsonObject> events(const QString &event) const;
};

} // namespace orvane::test
