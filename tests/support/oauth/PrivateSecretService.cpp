#include "PrivateSecretService.h"

#include "support/StopProcess.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcessEnvironment>
#include <QThread>

#include <csignal>
#include <sys/prctl.h>

namespace orvane::test {

namespace {

const QString dbusDaemonPath = QStringLiteral("/usr/bin/dbus-daemon");
const QString dbusSendPath = QStringLiteral("/usr/bin/dbus-send");
const QString keyringPath = QStringLiteral("/usr/bin/gnome-keyring-daemon");
const QString secretToolPath = QStringLiteral("/usr/bin/secret-tool");
const QString timeoutPath = QStringLiteral("/usr/bin/timeout");
// Neither daemon ends by itself; a test that dies without stopping them leaves them this long.
constexpr int lifetimeSeconds = 900;

// A session bus that starts no service on demand: the standard session.conf would start
// gnome-keyring from its .service file the moment a client asks for org.freedesktop.secrets,
// and the bus without a Secret Service would have one after all.
constexpr char busConfig[]
        = R"(<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>@ADDRESS@</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
)";

void startWithLifetime(QProcess &process, const QString &program, const QStringList &arguments)
{
    process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
    process.start(timeoutPath,
                  QStringList{"--kill-after=5", QString::number(lifetimeSeconds), program}
                          + arguments);
}

QString tail(const QString &file)
{
    QFile log(file);
    return log.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(log.readAll().right(1500))
                                         : QStringLiteral("(no log)");
}

} // namespace

PrivateSecretService::~PrivateSecretService()
{
    stop();
}

void PrivateSecretService::stop()
{
    stopProcess(m_keyring);
    stopProcess(m_bus);
    if (m_addressSet) {
        if (m_hadAddress)
            qputenv("DBUS_SESSION_BUS_ADDRESS", m_previousAddress);
        else
            qunsetenv("DBUS_SESSION_BUS_ADDRESS");
        m_addressSet = false;
    }
}

QString PrivateSecretService::start(Kind kind)
{
    for (const auto &[program, package] :
         {std::pair{dbusDaemonPath, "dbus-daemon"}, std::pair{dbusSendPath, "dbus-bin"},
          std::pair{timeoutPath, "coreutils"}}) {
        if (!QFileInfo(program).isExecutable())
            return QStringLiteral("%1 is not installed (Debian package %2)").arg(program, package);
    }
    if (kind == Kind::WithKeyring) {
        if (!QFileInfo(keyringPath).isExecutable())
            return QStringLiteral("%1 is not installed (Debian package gnome-keyring)")
                    .arg(keyringPath);
        if (!QFileInfo(secretToolPath).isExecutable())
            return QStringLiteral("%1 is not installed (Debian package libsecret-tools)")
                    .arg(secretToolPath);
    }
    if (!m_dir.isValid())
        return QStringLiteral("no temporary directory");
    if (QString error = startBus(); !error.isEmpty())
        return error;
    m_hadAddress = qEnvironmentVariableIsSet("DBUS_SESSION_BUS_ADDRESS");
    m_previousAddress = qgetenv("DBUS_SESSION_BUS_ADDRESS");
    qputenv("DBUS_SESSION_BUS_ADDRESS", m_address.toUtf8());
    m_addressSet = true;
    if (kind == Kind::BusOnly)
        return {};
    if (QString error = startKeyring(); !error.isEmpty())
        return error;
    return waitForSecretService();
}

QString PrivateSecretService::startBus()
{
    m_address = QStringLiteral("unix:path=") + path("bus");
    QFile config(path("bus.conf"));
    if (!config.open(QIODevice::WriteOnly)
        || config.write(QString::fromLatin1(busConfig).replace("@ADDRESS@", m_address).toUtf8())
                   < 0)
        return QStringLiteral("cannot write %1").arg(config.fileName());
    config.close();
    m_bus.setProcessChannelMode(QProcess::MergedChannels);
    m_bus.setStandardOutputFile(path("bus.log"));
    startWithLifetime(m_bus, dbusDaemonPath,
                      {"--config-file=" + config.fileName(), "--nofork", "--nopidfile"});
    if (!m_bus.waitForStarted(10000))
        return QStringLiteral("dbus-daemon did not start: %1").arg(m_bus.errorString());

    const QDeadlineTimer deadline(10000);
    while (!deadline.hasExpired()) {
        QProcess ping;
        ping.start(dbusSendPath,
                   {"--bus=" + m_address, "--print-reply", "--dest=org.freedesktop.DBus",
                    "/org/freedesktop/DBus", "org.freedesktop.DBus.GetId"});
        if (ping.waitForFinished(5000) && ping.exitStatus() == QProcess::NormalExit
            && ping.exitCode() == 0)
            return {};
        if (m_bus.waitForFinished(50))
            return QStringLiteral("dbus-daemon exited early: %1").arg(tail(path("bus.log")));
    }
    return QStringLiteral("the private session bus did not answer within 10 s: %1")
            .arg(tail(path("bus.log")));
}

QString PrivateSecretService::startKeyring()
{
    // A scratch home, so the keyring it creates is nobody's real one, and no display, so that it
    // never puts up a prompt on a developer's desktop.
    const QString home = path("home");
    const QString runtime = path("runtime");
    if (!QDir().mkpath(home + "/.local/share") || !QDir().mkpath(runtime)
        || !QFile::setPermissions(runtime, QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                                   | QFileDevice::ExeOwner))
        return QStringLiteral("cannot make the keyring's folders in %1").arg(m_dir.path());
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name :
         {"DISPLAY", "WAYLAND_DISPLAY", "GNOME_KEYRING_CONTROL", "SSH_AUTH_SOCK"})
        environment.remove(QString::fromLatin1(name));
    environment.insert("HOME", home);
    environment.insert("XDG_DATA_HOME", home + "/.local/share");
    environment.insert("XDG_CONFIG_HOME", home + "/.config");
    environment.insert("XDG_RUNTIME_DIR", runtime);
    environment.insert("DBUS_SESSION_BUS_ADDRESS", m_address);
    m_keyring.setProcessEnvironment(environment);
    m_keyring.setProcessChannelMode(QProcess::MergedChannels);
    m_keyring.setStandardOutputFile(path("keyring.log"));
    // --unlock reads the login keyring's password from standard input, until it closes, and
    // creates that keyring unlocked when there is none.
    startWithLifetime(m_keyring, keyringPath, {"--foreground", "--unlock", "--components=secrets"});
    if (!m_keyring.waitForStarted(10000))
        return QStringLiteral("gnome-keyring-daemon did not start: %1")
                .arg(m_keyring.errorString());
    m_keyring.write("orvane-test-keyring");
    m_keyring.closeWriteChannel();
    return {};
}

QString PrivateSecretService::waitForSecretService()
{
    const QDeadlineTimer deadline(15000);
    while (!deadline.hasExpired()) {
        QProcess ask;
        ask.start(dbusSendPath,
                  {"--bus=" + m_address, "--print-reply", "--dest=org.freedesktop.DBus",
                   "/org/freedesktop/DBus", "org.freedesktop.DBus.NameHasOwner",
                   "string:org.freedesktop.secrets"});
        if (ask.waitForFinished(5000) && ask.readAllStandardOutput().contains("boolean true"))
            return {};
        if (m_keyring.waitForFinished(50))
            return QStringLiteral("gnome-keyring-daemon exited early: %1")
                    .arg(tail(path("keyring.log")));
    }
    return QStringLiteral("gnome-keyring-daemon did not offer the Secret Service within 15 s: %1")
            .arg(tail(path("keyring.log")));
}

QString PrivateSecretService::lookup(const QString &attributeName, const QString &value) const
{
    QProcess tool;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("DBUS_SESSION_BUS_ADDRESS", m_address);
    tool.setProcessEnvironment(environment);
    tool.start(secretToolPath, {"lookup", attributeName, value});
    tool.closeWriteChannel();
    if (!tool.waitForFinished(10000) || tool.exitStatus() != QProcess::NormalExit
        || tool.exitCode() != 0)
        return {};
    return QString::fromUtf8(tool.readAllStandardOutput());
}

} // namespace orvane::test
