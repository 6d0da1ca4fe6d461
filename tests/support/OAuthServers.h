#pragma once

#include "oauth/DovecotSubmission.h"
#include "oauth/PrivateSecretService.h"

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

namespace orvane::test {

// The servers of an OAuth 2.0 sign-in to SMTP, all private to one test and on free ports of
// 127.0.0.1:
// - an authorization server (oidc-provider, tests/support/oauth/provider.mjs, run by node from
//   the packages scripts/test installs with npm ci into the test cache) with one public native
//   client (loopback redirect on any port, PKCE S256, device flow, rotating refresh tokens,
//   revocation) and the mail scope smtp.send, granted whether or not the client names a
//   resource; refresh tokens in the code flow only for scope offline_access with prompt=consent
//   (OpenID Connect Core section 11), in the device flow for offline_access alone;
// - two Dovecot submission servers that take only bearer tokens, checked by introspection, whose
//   e-mail (the login name given at the provider's login page) must be the SASL user: one offers
//   XOAUTH2 and OAUTHBEARER, the other XOAUTH2 only (libcurl picks OAUTHBEARER where offered);
// - the sink both relay to, which keeps every message (JSON summaries as SmtpTestServer's).
// The user's part at the provider is played by tests/support/oauth/user_agent.py, as a browser
// would: the commands below. (The offscreen platform opens no URL, so a test hands the program
// an opener that starts browseCommand() rather than going through $BROWSER.)
//
// Dovecot needs root: elsewhere start() says so, and ORVANE_REQUIRE_SERVER skips.
//
//     OAuthServers servers;
//     const QString why = servers.start();
//     ORVANE_REQUIRE_SERVER(why.isEmpty(), why);
//
// Everything stops by PID when the object goes, and by itself after 15 minutes should the test
// die first.
class OAuthServers
{
public:
    struct Options
    {
        int accessTokenSeconds = 600;
        int deviceCodeSeconds = 600; // the device flow's expires_in
    };

    OAuthServers();
    ~OAuthServers();

    // Empty when everything answers, else what is missing (naming the Debian package or the
    // scripts/test step) or what went wrong.
    QString start(const Options &options);
    QString start() { return start(Options()); }
    void stop();

    QString issuer() const;   // "http://127.0.0.1:PORT": discovery starts from here
    QString clientId() const; // the public native client
    QString mailScope() const { return QStringLiteral("smtp.send"); }
    int submissionPort() const;  // Dovecot offering XOAUTH2 and OAUTHBEARER
    int xoauth2OnlyPort() const; // Dovecot offering XOAUTH2 only
    // What reached the sink, in order: mail_from, rcpt_tos, subject, body, attachments with
    // filename, size and sha256... Dovecot adds a Received header.
    QList<QJsonObject> delivered() const;
    // Both Dovecot logs: logins, and why each token was refused ("Introspection failed").
    QString dovecotLog() const;

    // The user's part, each as a program and its arguments to start detached while the program
    // under test waits in this process. browse signs in as login at the authorization URL and
    // consents (or cancels at the login page), then takes the provider's redirect to the
    // program's loopback listener, with the state replaced if stateOverride is not null; it
    // prints the page the listener answered and exits 0 when that was a 2xx or 3xx, 1 for an
    // error status, 3 when something else went wrong (on its stderr).
    QStringList browseCommand(const QString &url, const QString &login, bool decline = false,
                              const QString &stateOverride = {}) const;
    // Enters the user code at the provider, confirms (or aborts), signs in and consents.
    QStringList deviceCommand(const QString &userCode, const QString &login,
                              bool decline = false) const;
    // Revokes a refresh token, and so its whole grant, at the provider (RFC 7009), as the user
    // or an administrator would: empty on success.
    QString revoke(const QByteArray &refreshToken) const;

private:
    class Provider;
    class Sink;

    QString startProvider(const Options &options);
    QString startSink();
    QString startDovecot(DovecotSubmission &dovecot, const QString &name,
                         const QString &mechanisms);
    QStringList userAgent(const QStringList &arguments) const;
    QString runUserAgent(const QStringList &command, const QByteArray &input = {}) const;

    QTemporaryDir m_dir;
    std::unique_ptr<Provider> m_provider;
    std::unique_ptr<Sink> m_sink;
    DovecotSubmission m_both;
    DovecotSubmission m_xoauth2Only;
    QString m_mailServerSecret;
};

} // namespace orvane::test
