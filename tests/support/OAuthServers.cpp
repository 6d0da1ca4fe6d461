#include "OAuthServers.h"

#include "ScriptServer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QProcess>
#include <QRandomGenerator>

namespace orvane::test {

namespace {

const QString nodePath = QStringLiteral("/usr/bin/node");
const QString pythonPath = QStringLiteral("/usr/bin/python3");
const QString clientIdValue = QStringLiteral("orvane-desktop");
const QString mailServerId = QStringLiteral("mail-server");
// Long enough for the slowest test suite; the servers end by themselves after it.
constexpr int lifetimeSeconds = 900;

QString sourcePath(const QString &name)
{
    return QStringLiteral(ORVANE_TEST_SUPPORT_DIR "/oauth/") + name;
}

// Where scripts/test installs the provider's npm packages: the test cache both builds share.
QString nodeFolder()
{
    const QString configured = qEnvironmentVariable("ORVANE_TEST_CACHE_DIR");
    return (configured.isEmpty() ? QStringLiteral(ORVANE_BUILD_TEST_CACHE_DIR) : configured)
           + QStringLiteral("/oauth-node");
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString missingNodePackages(const QString &folder)
{
    if (!QFileInfo(nodePath).isExecutable())
        return QStringLiteral("%1 is missing (Debian package nodejs, version 20 or later)")
                .arg(nodePath);
    const QString byHand
            = QStringLiteral("scripts/test installs them in its step \"npm packages\"; by hand: "
                             "bash -c '. %1/scripts/lib.sh && ensure_oauth_node_modules %2'")
                      .arg(QDir(QStringLiteral(ORVANE_TEST_SUPPORT_DIR "/../..")).absolutePath(),
                           QFileInfo(folder).path());
    if (!QFile::exists(folder + QStringLiteral("/node_modules/oidc-provider/package.json")))
        return QStringLiteral("the authorization server's npm packages (oidc-provider) are not "
                              "installed in %1/node_modules: %2")
                .arg(folder, byHand);
    if (readAll(folder + QStringLiteral("/package-lock.json"))
        != readAll(sourcePath(QStringLiteral("package-lock.json"))))
        return QStringLiteral("the npm packages in %1 come from another "
                              "tests/support/oauth/package-lock.json: %2")
                .arg(folder, byHand);
    return {};
}

// Letters and digits only: it travels inside the introspection URL.
QString randomSecret()
{
    QString secret;
    for (int i = 0; i < 32; ++i)
        secret += QString::number(QRandomGenerator::global()->bounded(36), 36);
    return secret;
}

} // namespace

class OAuthServers::Provider : public ScriptServer
{
public:
    QString start(const QString &nodeModules, const QStringList &arguments)
    {
        // node looks for packages from the script's own folder upwards, so the script runs
        // from a copy beside a link to the installed packages.
        const QString script = filePath(QStringLiteral("provider.mjs"));
        if (!QFile::copy(sourcePath(QStringLiteral("provider.mjs")), script)
            || !QFile::link(nodeModules, filePath(QStringLiteral("node_modules"))))
            return QStringLiteral("cannot set up the authorization server in %1").arg(path());
        return launch(script,
                      QStringList{"--port-file", portFile(), "--lifetime",
                                  QString::number(lifetimeSeconds)}
                              + arguments,
                      Ready::Accepting, nodePath);
    }
};

class OAuthServers::Sink : public ScriptServer
{
public:
    QString start()
    {
        return launch(sourcePath(QStringLiteral("mail_sink.py")),
                      {"--out", path(), "--port-file", portFile(), "--lifetime",
                       QString::number(lifetimeSeconds)},
                      Ready::Accepting);
    }

    QList<QJsonObject> messages() const { return numberedJson(QStringLiteral("message")); }
};

OAuthServers::OAuthServers()
    : m_dir(QDir::tempPath() + QStringLiteral("/orvane-oauth-XXXXXX"))
    , m_provider(std::make_unique<Provider>())
    , m_sink(std::make_unique<Sink>())
{}

OAuthServers::~OAuthServers()
{
    stop();
}

QString OAuthServers::start(const Options &options)
{
    if (QString missing = ScriptServer::missingPython("aiosmtpd", "python3-aiosmtpd");
        !missing.isEmpty())
        return missing;
    if (QString missing = DovecotSubmission::missingPrerequisite(); !missing.isEmpty())
        return missing;
    if (!m_dir.isValid())
        return QStringLiteral("no temporary directory");
    if (QString error = startProvider(options); !error.isEmpty())
        return error;
    if (QString error = startSink(); !error.isEmpty())
        return error;
    if (QString error
        = startDovecot(m_both, QStringLiteral("both"), QStringLiteral("xoauth2 oauthbearer"));
        !error.isEmpty())
        return error;
    return startDovecot(m_xoauth2Only, QStringLiteral("xoauth2"), QStringLiteral("xoauth2"));
}

void OAuthServers::stop()
{
    m_xoauth2Only.stop();
    m_both.stop();
    m_sink->stop();
    m_provider->stop();
}

QString OAuthServers::startProvider(const Options &options)
{
    if (options.accessTokenSeconds <= 0 || options.deviceCodeSeconds <= 0)
        return QStringLiteral("token lifetimes must be positive");
    const QString folder = nodeFolder();
    if (QString missing = missingNodePackages(folder); !missing.isEmpty())
        return missing;
    m_mailServerSecret = randomSecret();
    if (QString error
        = m_provider->start(folder + QStringLiteral("/node_modules"),
                            {"--access-token-seconds", QString::number(options.accessTokenSeconds),
                             "--device-code-seconds", QString::number(options.deviceCodeSeconds),
                             "--client-id", clientIdValue, "--mail-server-id", mailServerId,
                             "--mail-server-secret", m_mailServerSecret});
        !error.isEmpty())
        return QStringLiteral("the authorization server did not start: ") + error;
    return {};
}

QString OAuthServers::startSink()
{
    if (QString error = m_sink->start(); !error.isEmpty())
        return QStringLiteral("the mail sink did not start: ") + error;
    return {};
}

QString OAuthServers::startDovecot(DovecotSubmission &dovecot, const QString &name,
                                   const QString &mechanisms)
{
    DovecotSubmission::Config config;
    config.folder = m_dir.filePath(name);
    // Dovecot refuses a second master with the same instance name.
    config.instanceName = QStringLiteral("orvane-test-%1-%2")
                                  .arg(QFileInfo(m_dir.path()).fileName().section(u'-', -1), name);
    config.mechanisms = mechanisms;
    // Credentials in the URL become HTTP Basic authentication (RFC 7662 section 2.1).
    config.introspectionUrl = QStringLiteral("http://%1:%2@127.0.0.1:%3/token/introspection")
                                      .arg(mailServerId, m_mailServerSecret)
                                      .arg(m_provider->port());
    config.relayPort = m_sink->port();
    config.lifetimeSeconds = lifetimeSeconds;
    if (QString error = dovecot.start(config); !error.isEmpty())
        return QStringLiteral("Dovecot (%1) did not start: %2").arg(mechanisms, error);
    return {};
}

QString OAuthServers::issuer() const
{
    return QStringLiteral("http://127.0.0.1:%1").arg(m_provider->port());
}

QString OAuthServers::clientId() const
{
    return clientIdValue;
}

int OAuthServers::submissionPort() const
{
    return m_both.port();
}

int OAuthServers::xoauth2OnlyPort() const
{
    return m_xoauth2Only.port();
}

QList<QJsonObject> OAuthServers::delivered() const
{
    return m_sink->messages();
}

QString OAuthServers::dovecotLog() const
{
    return QStringLiteral("== port %1, XOAUTH2 and OAUTHBEARER ==\n%2"
                          "== port %3, XOAUTH2 only ==\n%4")
            .arg(m_both.port())
            .arg(m_both.log())
            .arg(m_xoauth2Only.port())
            .arg(m_xoauth2Only.log());
}

QStringList OAuthServers::userAgent(const QStringList &arguments) const
{
    return QStringList{pythonPath, sourcePath(QStringLiteral("user_agent.py"))} + arguments;
}

QStringList OAuthServers::browseCommand(const QString &url, const QString &login, bool decline,
                                        const QString &stateOverride) const
{
    QStringList arguments{"browse", url, "--login", login};
    if (decline)
        arguments << "--decline";
    if (!stateOverride.isNull())
        arguments << "--state" << stateOverride;
    return userAgent(arguments);
}

QStringList OAuthServers::deviceCommand(const QString &userCode, const QString &login,
                                        bool decline) const
{
    QStringList arguments{"device", issuer(), userCode, "--login", login};
    if (decline)
        arguments << "--decline";
    return userAgent(arguments);
}

QString OAuthServers::revoke(const QByteArray &refreshToken) const
{
    // The token goes on standard input, not where ps would show it.
    return runUserAgent(userAgent({"revoke", issuer(), clientIdValue}), refreshToken);
}

QString OAuthServers::runUserAgent(const QStringList &command, const QByteArray &input) const
{
    QProcess agent;
    agent.start(command.first(), command.mid(1));
    agent.write(input);
    agent.closeWriteChannel();
    if (!agent.waitForFinished(60000) || agent.exitStatus() != QProcess::NormalExit
        || agent.exitCode() != 0)
        return QStringLiteral("user_agent.py %1 failed (exit %2): %3")
                .arg(command.at(2))
                .arg(agent.exitCode())
                .arg(QString::fromUtf8(agent.readAllStandardError()).trimmed());
    return {};
}

} // namespace orvane::test
