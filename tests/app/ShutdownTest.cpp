#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QThread>

#include <csignal>
#include <gtest/gtest.h>

namespace {

// Whether the signal mask `field` of /proc/PID/status (SigCgt: caught, SigIgn: ignored) holds
// `signalNumber`.
bool inSignalMask(qint64 pid, const char *field, int signalNumber)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return false;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field)) {
            const quint64 mask = line.mid(7).trimmed().toULongLong(nullptr, 16); // "SigXxx:"
            return mask & (quint64(1) << (signalNumber - 1));
        }
    }
    return false;
}

// True once `pid` catches `signalNumber`: the program has installed its handlers and a
// signal from now on closes the window instead of killing the process.
bool catches(qint64 pid, int signalNumber)
{
    return inSignalMask(pid, "SigCgt:", signalNumber);
}

class ShutdownTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }

    QString configHome() const { return m_dir.filePath(QStringLiteral("config")); }
    QString configFile() const
    {
        return configHome() + QStringLiteral("/Quarrow Orvane/orvane.conf");
    }

    // Starts the program with its own config folder and waits until it handles signals.
    void start(const QString &home, const QStringList &arguments = {})
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), home);
        m_process.setProcessEnvironment(env);
        m_process.start(QStringLiteral(ORVANE_BINARY), arguments);
        ASSERT_TRUE(m_process.waitForStarted(10000));
        const QDeadlineTimer deadline(10000);
        while (!catches(m_process.processId(), SIGTERM) && !deadline.hasExpired())
            QThread::msleep(10);
        ASSERT_TRUE(catches(m_process.processId(), SIGTERM));
    }

    void sendAndWait(int signalNumber)
    {
        ASSERT_EQ(::kill(static_cast<pid_t>(m_process.processId()), signalNumber), 0);
        ASSERT_TRUE(m_process.waitForFinished(15000)) << "the program did not end";
    }

    QTemporaryDir m_dir;
    QProcess m_process;
};

TEST_F(ShutdownTest, EachTerminationSignalSavesTheFiveValuesOnceAndEnds)
{
    for (const int signalNumber : {SIGTERM, SIGINT, SIGHUP}) {
        QFile::remove(configFile());
        {
            QSettings seed(configFile(), QSettings::IniFormat);
            seed.setValue(QStringLiteral("Setting/To"), QStringLiteral("ann@example.com"));
            seed.setValue(QStringLiteral("Setting/Subject"), QStringLiteral(" Scan ; = % "));
        }
        start(configHome());
        // A write into a connection the server has closed fails with EPIPE, which the layers
        // report, instead of ending the program.
        EXPECT_TRUE(inSignalMask(m_process.processId(), "SigIgn:", SIGPIPE));
        sendAndWait(signalNumber);
        EXPECT_EQ(m_process.exitStatus(), QProcess::NormalExit) << signalNumber;
        EXPECT_EQ(m_process.exitCode(), 0) << signalNumber;

        QSettings saved(configFile(), QSettings::IniFormat);
        saved.beginGroup(QStringLiteral("Setting"));
        EXPECT_EQ(saved.childKeys().size(), 5) << signalNumber;
        EXPECT_EQ(saved.value(QStringLiteral("SMTP Server")).toString(),
                  QStringLiteral("localhost"));
        EXPECT_EQ(saved.value(QStringLiteral("Port")).toString(), QStringLiteral("25"));
        EXPECT_EQ(saved.value(QStringLiteral("From")).toString(),
                  QStringLiteral("scanner@example.com"));
        EXPECT_EQ(saved.value(QStringLiteral("To")).toString(), QStringLiteral("ann@example.com"));
        EXPECT_EQ(saved.value(QStringLiteral("Subject")).toString(),
                  QStringLiteral(" Scan ; = % "));
    }
}

TEST_F(ShutdownTest, QtsOwnOptionsOnTheCommandLineAreIgnored)
{
    // An unknown platform would stop the program at start, an unknown style earn a warning.
    ASSERT_NO_FATAL_FAILURE(start(configHome(), {"-platform", "no-such-platform", "-style",
                                                 "no-such-style", "-reverse"}));
    sendAndWait(SIGTERM);
    EXPECT_EQ(m_process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(m_process.exitCode(), 0);
    const QString err = QString::fromLocal8Bit(m_process.readAllStandardError());
    EXPECT_FALSE(err.contains(QStringLiteral("no-such"))) << qPrintable(err);
}

TEST_F(ShutdownTest, KilledOutrightWritesNothing)
{
    start(configHome());
    sendAndWait(SIGKILL);
    EXPECT_EQ(m_process.exitStatus(), QProcess::CrashExit);
    EXPECT_FALSE(QFile::exists(configFile()));
}

TEST_F(ShutdownTest, StartsWithoutTheMailAndDirectoryLibraries)
{
    start(configHome());
    // libcurl and libldap, with their TLS, SASL, HTTP/2 and IDN libraries, come with the
    // components' modules on the first Send or search, QtKeychain with the OAuth sign-in's on
    // the first Send that signs in (Qt D-Bus is not in this list: Debian's Qt GUI library links
    // it); whatever the program links is mapped before it handles signals.
    QFile maps(QStringLiteral("/proc/%1/maps").arg(m_process.processId()));
    ASSERT_TRUE(maps.open(QIODevice::ReadOnly));
    const QByteArray mapped = maps.readAll();
    for (const char *library :
         {"libcurl", "libldap", "liblber", "libgnutls", "libsasl2", "libnghttp2", "libidn2",
          "mail-curl", "directory-ldap", "libqt6keychain", "mail-oauth"})
        EXPECT_FALSE(mapped.contains(library)) << library;
    sendAndWait(SIGTERM);
}

TEST_F(ShutdownTest, SaveFailureOnASignalGoesToStandardErrorAndTheProgramStillEnds)
{
    // A config folder below a regular file cannot be created, even by root.
    const QString blocker = m_dir.filePath(QStringLiteral("blocker"));
    QFile file(blocker);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    start(blocker + QStringLiteral("/config"));
    sendAndWait(SIGTERM);
    EXPECT_EQ(m_process.exitStatus(), QProcess::NormalExit);
    const QString err = QString::fromLocal8Bit(m_process.readAllStandardError());
    EXPECT_TRUE(err.contains(QStringLiteral("Settings could not be saved: "))) << qPrintable(err);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
