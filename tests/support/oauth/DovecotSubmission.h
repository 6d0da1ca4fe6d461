#pragma once

#include <QProcess>
#include <QString>

#include <memory>

namespace orvane::test {

// One private Dovecot submission server (RFC 6409) that takes only OAuth 2.0 bearer tokens and
// checks each by introspection at the test's authorization server, relaying what it accepts to
// a sink. Started in named steps: tools found, root checked, config written into its own folder
// (base_dir, state_dir, instance name, log), config tested with doveconf, start in the
// foreground on a free port of 127.0.0.1, probe; stopped by PID. Never the system's Dovecot.
class DovecotSubmission
{
public:
    struct Config
    {
        QString folder;           // its own, short: socket paths must fit in 108 bytes
        QString instanceName;     // unique on the machine while it runs
        QString mechanisms;       // "xoauth2 oauthbearer" or "xoauth2"
        QString introspectionUrl; // with the mail server's client id and secret in it
        int relayPort = 0;        // the sink on 127.0.0.1
        int lifetimeSeconds = 900;
    };

    ~DovecotSubmission();

    // Empty when Dovecot and its submission service are installed and this process may run
    // them (root), else why not, naming the Debian packages.
    static QString missingPrerequisite();

    // Empty once it accepts connections, else why it does not.
    QString start(const Config &config);
    void stop();

    int port() const { return m_port; }
    // What it logged: logins, and with auth_verbose the reason for each refused token.
    QString log() const;

private:
    QString writeConfig(const Config &config);
    QString testConfig();
    QString launch(const Config &config);
    QString probe();
    QString logTail() const;
    QString path(const QString &name) const;

    QString m_folder;
    std::unique_ptr<QProcess> m_dovecot;
    int m_port = 0;
};

} // namespace orvane::test
