#pragma once

#include "form/Status.h"
#include "mail/FieldValue.h"

#include <QString>

#include <map>

namespace orvane::mail {

// The committed configuration fields (full name -> value), read into what a send needs.
// Refuses what we cannot do faithfully: any sendusing but 2, a missing or malformed server,
// a port outside 1 to 65535, an unknown authentication method.
struct TransportConfig
{
    QString host; // ASCII: a host name, an IPv4 address or an IPv6 address without brackets
    int port = 25;
    bool authenticate = false;
    QString user;
    QString password;
    bool useSsl = false;

    static form::Result<TransportConfig> fromFields(const std::map<QString, FieldValue> &fields);

    // Checks and normalises a server name or address (international names to ASCII).
    static form::Result<QString> checkHost(const QString &server);
};

} // namespace orvane::mail
