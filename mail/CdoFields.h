#pragma once

#include <QString>

namespace orvane::mail::cdo {

// Configuration fields are addressed by full name: this namespace followed by the short name.
// The names are the ones the message component has always used, so saved scripts and the
// handler speak the same language.
inline constexpr const char *configurationNamespace
        = "http://schemas.microsoft.com/cdo/configuration/";

inline constexpr const char *sendUsing = "sendusing";
inline constexpr const char *smtpServer = "smtpserver";
inline constexpr const char *smtpServerPort = "smtpserverport";
inline constexpr const char *smtpAuthenticate = "smtpauthenticate";
inline constexpr const char *sendUserName = "sendusername";
inline constexpr const char *sendPassword = "sendpassword";
inline constexpr const char *smtpUseSsl = "smtpusessl";

// sendusing 2: send through an SMTP server over the network (the only way we support).
inline constexpr int sendUsingPort = 2;
// smtpauthenticate: 0 anonymous, 1 basic (user name and password).
inline constexpr int authAnonymous = 0;
inline constexpr int authBasic = 1;

inline QString fullName(const char *shortName)
{
    return QLatin1String(configurationNamespace) + QLatin1String(shortName);
}

} // namespace orvane::mail::cdo
