#pragma once

#include <QByteArray>
#include <QDir>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

namespace orvane::test {

// A private D-Bus session bus for a test, with an unlocked GNOME keyring on it as the Secret
// Service (org.freedesktop.secrets), or with no Secret Service at all. The bus is a
// dbus-daemon of its own on a socket in a temporary folder, with service activation off so that
// nothing starts a keyring behind the test's back; the keyring gets a scratch HOME. Both stop
// by PID when this object goes, and by themselves after the lifetime should the test die.
//
// start() points DBUS_SESSION_BUS_ADDRESS of this process at the bus, so call it before
// anything in the test process talks to D-Bus (Qt and libsecret keep their first connection);
// programs the test starts inherit it. The destructor puts the old value back.
class PrivateSecretService
{
public:
    enum class Kind {
        WithKeyring, // gnome-keyring-daemon owns org.freedesktop.secrets, unlocked
        BusOnly,     // a session bus where nobody offers a Secret Service
    };

    ~PrivateSecretService();

    // Empty when the bus (and the keyring) answer, else why not, naming the Debian packages.
    QString start(Kind kind = Kind::WithKeyring);
    void stop();

    QString busAddress() const { return m_address; }
    // The secret stored under attributeName=value, looked up with secret-tool; empty when there
    // is none (or no Secret Service to ask).
    QString lookup(const QString &attributeName, const QString &value) const;

private:
    QString startBus();
    QString startKeyring();
    QString waitForSecretService();
    QString path(const QString &name) const { return m_dir.filePath(name); }

    // Short: the bus socket's path must fit in 108 bytes.
    QTemporaryDir m_dir{QDir::tempPath() + QStringLiteral("/orvane-bus-XXXXXX")};
    QProcess m_bus;
    QProcess m_keyring;
    QString m_address;
    QByteArray m_previousAddress;
    bool m_hadAddress = false;
    bool m_addressSet = false;
};

} // namespace orvane::test
