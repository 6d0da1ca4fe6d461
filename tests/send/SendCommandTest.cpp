// orvane-send as a script or a scanner button runs it: the real program, standard input a pipe
// (no terminal), the settings the window saved in a folder of the test's own, against aiosmtpd,
// the scripted server and, for OAuth, oidc-provider with Dovecot.

#include "mail/oauth/OAuthSignIn.h"
#include "mail/oauth/ProviderTable.h"
#include "settings/AdministratorGroup.h"
#include "support/OAuthServers.h"
#include "support/RequireServer.h"
#include "tests/mail/SmtpTestServer.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <sysexits.h>

namespace orvane::test {
namespace {

const QString sender = QStringLiteral("scanner@example.org");
const QString recipient = QStringLiteral("office@example.org");
const QString password = QStringLiteral("pw-Secret-77");

struct Outcome
{
    int code = -1;
    QString out;
    QString err;
};

const QString noBus = QStringLiteral("unix:path=/nonexistent/orvane-test-bus");

// A process's environment with the settings of `configHome`, the session bus `bus` and no
// desktop (a sign-in uses the device flow).
QProcessEnvironment programEnvironment(const QString &configHome, const QString &bus)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), configHome);
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), bus);
    environment.remove(QStringLiteral("DISPLAY"));
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    return environment;
}

// The program with `arguments` and `input` on its standard input; with no `bus`, one that
// answers nobody, where a sign-in finds no token kept.
Outcome runProgram(const QStringList &arguments, const QByteArray &input, const QString &configHome,
                   const QString &bus = noBus)
{
    QProcess program;
    program.setProcessEnvironment(programEnvironment(configHome, bus));
    program.start(QStringLiteral(ORVANE_SEND_PROGRAM), arguments);
    program.write(input);
    program.closeWriteChannel();
    EXPECT_TRUE(program.waitForFinished(120000));
    return {program.exitStatus() == QProcess::NormalExit ? program.exitCode() : -1,
            QString::fromUtf8(program.readAllStandardOutput()),
            QString::fromUtf8(program.readAllStandardError())};
}

// The settings file as the window and an administrator leave it: each value under its
// "group/key".
void writeSettings(const QString &configHome, const QMap<QString, QString> &values)
{
    QSettings settings(configHome + QStringLiteral("/Quarrow Orvane/orvane.conf"),
                       QSettings::IniFormat);
    for (auto it = values.begin(); it != values.end(); ++it)
        settings.setValue(it.key(), it.value());
    settings.sync();
    ASSERT_EQ(settings.status(), QSettings::NoError);
}

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString sha256(const QByteArray &bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}

class SendCommandTest : public ::testing::Test
{
public:
    static void SetUpTestSuite()
    {
        s_server = std::make_unique<SmtpTestServer>();
        s_missing = SmtpTestServer::missingPrerequisite();
        if (s_missing.isEmpty())
            s_missing = s_server->start({.auth = QStringLiteral("scanner:") + password,
                                         .refuse = {QStringLiteral("nobody@example.org")}});
    }
    static void TearDownTestSuite() { s_server.reset(); }

protected:
    void SetUp() override
    {
        ORVANE_REQUIRE_SERVER(s_missing.isEmpty(), s_missing);
        ASSERT_TRUE(m_dir.isValid());
        m_scan.resize(300000);
        QRandomGenerator::global()->fillRange(reinterpret_cast<quint32 *>(m_scan.data()),
                                              m_scan.size() / 4);
        QFile scan(path(QStringLiteral("scan.pdf")));
        ASSERT_TRUE(scan.open(QIODevice::WriteOnly) && scan.write(m_scan) == m_scan.size());
        writeSettings(configHome(),
                      {{QStringLiteral("Setting/SMTP Server"), QStringLiteral("127.0.0.1")},
                       {QStringLiteral("Setting/Port"), QString::number(s_server->port())},
                       {QStringLiteral("Setting/From"), sender},
                       {QStringLiteral("Setting/To"), recipient},
                       {QStringLiteral("Setting/Subject"), QStringLiteral("Saved subject")},
                       {QStringLiteral("OAuth/Test/Issuer"), QStringLiteral("http://127.0.0.1:9")},
                       {QStringLiteral("OAuth/Test/ClientId"), QStringLiteral("orvane-test")},
                       {QStringLiteral("OAuth/Test/Scope"), QStringLiteral("smtp.send")},
                       {QStringLiteral("OAuth/Test/Servers"), QStringLiteral("127.0.0.1")}});
        m_delivered = s_server->messages().size();
    }

    QString path(const QString &name) const { return m_dir.filePath(name); }
    QString configHome() const { return m_dir.filePath(QStringLiteral("config")); }

    // The new messages since SetUp.
    QList<QJsonObject> delivered() const { return s_server->messages().mid(m_delivered); }

    static inline std::unique_ptr<SmtpTestServer> s_server;
    static inline QString s_missing;

    QTemporaryDir m_dir;
    QByteArray m_scan;
    qsizetype m_delivered = 0;
};

// One row per outcome a script tells apart: its arguments (%scan, %port, %closed, %private and
// %public stand for the scan, the server's port, a closed port, and password files private and
// readable by all), standard input, the exit status and the words that say why.
struct ExitCase
{
    const char *name;
    QStringList arguments;
    QByteArray input;
    int code;
    const char *says;
    const char *scripted = nullptr; // a scripted server's scenario takes %port instead
};

const ExitCase exitCases[] = {
        {"SavedSettingsOnly", {"%scan"}, {}, EX_OK, "Sent scan.pdf (300000 bytes; message "},
        {"PasswordFromFile",
         {"--user", "scanner", "--password-file", "%private", "%scan"},
         {},
         EX_OK,
         "250 2.0.0 Message accepted"},
        {"PasswordFromStandardInput",
         {"--user", "scanner", "--password-stdin", "%scan"},
         "pw-Secret-77\n",
         EX_OK,
         "to office@example.org through 127.0.0.1:"},
        {"MissingFile", {"%missing"}, {}, EX_NOINPUT, "missing.pdf\" cannot be found"},
        {"RefusedRecipient",
         {"--to", "nobody@example.org", "%scan"},
         {},
         EX_NOUSER,
         "refused the recipient nobody@example.org"},
        {"Greeting421", {"%scan"}, {}, EX_TEMPFAIL, "try again later", "greeting-421"},
        {"RefusedLogin",
         {"--user", "scanner", "--password-stdin", "%scan"},
         "wrong\n",
         EX_NOPERM,
         "refused the login"},
        {"Unreachable", {"--port", "%closed", "%scan"}, {}, EX_TEMPFAIL, "Could not connect"},
        {"SignInNeededWithoutTerminal",
         {"--user", "anna@example.org", "%scan"},
         {},
         EX_NOPERM,
         "standard input is not a terminal. Send once from the orvane window, or run "
         "\"orvane-send --sign-in --user anna@example.org\""},
        {"NoStartTlsOffered", {"--ssl", "%scan"}, {}, EX_UNAVAILABLE, "STARTTLS"},
        {"LineBreakInSubject",
         {"--subject", "Scan\r\nBcc: x@example.org", "%scan"},
         {},
         EX_DATAERR,
         "contains a line break"},
        {"PasswordFileReadableByAll",
         {"--user", "scanner", "--password-file", "%public", "%scan"},
         {},
         EX_CONFIG,
         "chmod 600"},
        {"PasswordOnTheCommandLine", {"--password", "x", "%scan"}, {}, EX_USAGE, "--password-file"},
};

class ExitCodeTest : public SendCommandTest, public ::testing::WithParamInterface<ExitCase>
{};

TEST_P(ExitCodeTest, SaysWhyAndSendsOnlyWhenItSucceeds)
{
    const ExitCase &row = GetParam();
    SmtpTestServer scripted;
    if (row.scripted) {
        ASSERT_EQ(scripted.startScripted(QString::fromLatin1(row.scripted)), QString());
    }
    for (const auto &[name, mode] : {std::pair("private", 0600), std::pair("public", 0644)}) {
        QFile file(path(QString::fromLatin1(name)));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(password.toUtf8() + "\n") > 0);
        file.close();
        ASSERT_EQ(::chmod(QFile::encodeName(file.fileName()).constData(), mode), 0);
    }
    QStringList arguments;
    for (QString argument : row.arguments) {
        argument.replace(QLatin1String("%scan"), path(QStringLiteral("scan.pdf")))
                .replace(QLatin1String("%missing"), path(QStringLiteral("missing.pdf")))
                .replace(QLatin1String("%private"), path(QStringLiteral("private")))
                .replace(QLatin1String("%public"), path(QStringLiteral("public")))
                .replace(QLatin1String("%closed"), QStringLiteral("9"));
        arguments.append(argument);
    }
    if (row.scripted)
        arguments.prepend(QStringLiteral("--port=") + QString::number(scripted.port()));

    const Outcome run = runProgram(arguments, row.input, configHome());
    EXPECT_EQ(run.code, row.code) << run.err.toStdString();
    const QString &said = row.code == EX_OK ? run.out : run.err;
    EXPECT_TRUE(said.contains(QString::fromUtf8(row.says))) << said.toStdString();
    // One line, on one stream (a usage error adds where to read more).
    if (row.code != EX_USAGE) {
        EXPECT_EQ(said.count(u'\n'), 1) << said.toStdString();
    }
    EXPECT_FALSE(run.out.contains(password) || run.err.contains(password));

    const QList<QJsonObject> messages = delivered();
    ASSERT_EQ(messages.size(), row.code == EX_OK ? 1 : 0);
    if (row.code != EX_OK)
        return;
    const QJsonObject &message = messages.first();
    EXPECT_EQ(message[QStringLiteral("subject")].toString(), QStringLiteral("Saved subject"));
    EXPECT_EQ(message[QStringLiteral("from")].toString(), sender);
    EXPECT_EQ(message[QStringLiteral("to")].toString(), recipient);
    EXPECT_EQ(message[QStringLiteral("auth_user")].toString(),
              row.arguments.contains(QStringLiteral("--user")) ? QStringLiteral("scanner")
                                                               : QString());
    const QJsonArray attachments = message[QStringLiteral("attachments")].toArray();
    ASSERT_EQ(attachments.size(), 1);
    const QJsonObject attachment = attachments.first().toObject();
    EXPECT_EQ(attachment[QStringLiteral("filename")].toString(), QStringLiteral("scan.pdf"));
    EXPECT_EQ(attachment[QStringLiteral("sha256")].toString(), sha256(m_scan));
}

INSTANTIATE_TEST_SUITE_P(Rows, ExitCodeTest, ::testing::ValuesIn(exitCases),
                         [](const auto &info) { return std::string(info.param.name); });

// Every value the options give wins for this run, and the settings file is left as it was.
TEST_F(SendCommandTest, OptionsOverrideTheSavedValuesForThisRunOnly)
{
    const QString settingsFile = configHome() + QStringLiteral("/Quarrow Orvane/orvane.conf");
    const QByteArray settingsBefore = fileBytes(settingsFile);
    const Outcome run = runProgram({QStringLiteral("--to"), QStringLiteral("ann@example.org"),
                                    QStringLiteral("--to=Bob Brown <bob@example.org>, "
                                                   "cy@example.org"),
                                    QStringLiteral("--from"), QStringLiteral("desk@example.org"),
                                    QStringLiteral("--subject"), QStringLiteral("Rechnung März"),
                                    QStringLiteral("--body-file"), QStringLiteral("-"),
                                    QStringLiteral("--"), path(QStringLiteral("scan.pdf"))},
                                   "Grüße aus dem Büro\n", configHome());
    ASSERT_EQ(run.code, EX_OK) << run.err.toStdString();
    const QList<QJsonObject> messages = delivered();
    ASSERT_EQ(messages.size(), 1);
    const QJsonObject &message = messages.first();
    EXPECT_EQ(message[QStringLiteral("mail_from")].toString(), QStringLiteral("desk@example.org"));
    EXPECT_EQ(message[QStringLiteral("rcpt_tos")].toArray().toVariantList(),
              QVariantList({"ann@example.org", "bob@example.org", "cy@example.org"}));
    EXPECT_EQ(message[QStringLiteral("subject")].toString(), QStringLiteral("Rechnung März"));
    EXPECT_EQ(message[QStringLiteral("body")].toString(),
              QStringLiteral("Grüße aus dem Büro\r\n\r\n\r\n"));
    EXPECT_EQ(fileBytes(settingsFile), settingsBefore);
    EXPECT_EQ(QDir(configHome()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
              QStringList{QStringLiteral("Quarrow Orvane")});
}

// Set in the child process that signs in as the window does (see below), with the command
// that approves a code at the provider, %CODE% in place of the code.
const char signInChild[] = "ORVANE_SEND_TEST_SIGN_IN";
const char approvalCommand[] = "ORVANE_SEND_TEST_APPROVAL";
const QChar separator(0x1f);

// The user of the window's sign-in, entering the code on another device.
class DeviceUser : public form::NetworkWait
{
public:
    explicit DeviceUser(QStringList approve)
        : m_approve(std::move(approve))
    {}

    void runPrompted(const form::WaitPrompt &prompt,
                     const std::function<void(const std::atomic<bool> &)> &work) override
    {
        const QStringList command
                = m_approve.replaceInStrings(QStringLiteral("%CODE%"), prompt.code);
        QProcess::startDetached(command.first(), command.mid(1));
        const std::atomic<bool> never{false};
        work(never);
    }

private:
    QStringList m_approve;
};

// A token the window's sign-in kept in the desktop's Secret Service lets orvane-send sign in
// without a terminal; it is refreshed and delivered with OAUTHBEARER through Dovecot. So does
// one that --sign-in kept at a terminal.
TEST(SendCommandOAuthTest, SignsInWithTheTokenTheWindowKept)
{
    const QString login = QStringLiteral("anna@example.test");
    OAuthServers servers;
    const QString why = servers.start();
    ORVANE_REQUIRE_SERVER(why.isEmpty(), why);
    PrivateSecretService secrets;
    const QString noSecrets = secrets.start();
    ORVANE_REQUIRE_SERVER(noSecrets.isEmpty(), noSecrets);
    QTemporaryDir dir;
    const QString configHome = dir.filePath(QStringLiteral("config"));
    writeSettings(configHome,
                  {{QStringLiteral("OAuth/Test/Issuer"), servers.issuer()},
                   {QStringLiteral("OAuth/Test/ClientId"), servers.clientId()},
                   {QStringLiteral("OAuth/Test/Scope"), QStringLiteral("smtp.send offline_access")},
                   {QStringLiteral("OAuth/Test/Servers"), QStringLiteral("127.0.0.1")},
                   {QStringLiteral("OAuth/Test/Flow"), QStringLiteral("device")}});

    // In a process of its own: libsecret keeps the first session bus it meets for good.
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedChannels);
    QProcessEnvironment environment = programEnvironment(configHome, secrets.busAddress());
    environment.insert(QString::fromLatin1(signInChild), QStringLiteral("1"));
    environment.insert(QString::fromLatin1(approvalCommand),
                       servers.deviceCommand(QStringLiteral("%CODE%"), login).join(separator));
    child.setProcessEnvironment(environment);
    child.start(QCoreApplication::applicationFilePath(), {});
    ASSERT_TRUE(child.waitForFinished(120000));
    ASSERT_EQ(child.exitCode(), 0);

    QFile scan(dir.filePath(QStringLiteral("scan.pdf")));
    ASSERT_TRUE(scan.open(QIODevice::WriteOnly) && scan.write(QByteArray(4000, 'x')) == 4000);
    scan.close();
    const auto sendAs = [&](const QString &user, int port) {
        return runProgram({QStringLiteral("--server=127.0.0.1"),
                           QStringLiteral("--port=") + QString::number(port),
                           QStringLiteral("--user=") + user, QStringLiteral("--from=") + user,
                           QStringLiteral("--to=bob@example.org"), scan.fileName()},
                          {}, configHome, secrets.busAddress());
    };
    const Outcome run = sendAs(login, servers.submissionPort());
    EXPECT_EQ(run.code, EX_OK) << run.err.toStdString();
    EXPECT_TRUE(run.err.isEmpty()) << run.err.toStdString();
    EXPECT_EQ(servers.delivered().size(), 1);
    EXPECT_TRUE(servers.dovecotLog().contains(QStringLiteral("method=OAUTHBEARER")));

    // Another user signs in with --sign-in at a terminal (script(1) gives it one), entering the
    // printed code elsewhere; a send without a terminal then signs in by itself.
    const QString other = QStringLiteral("bert@example.test");
    QProcess terminal;
    terminal.setProcessEnvironment(programEnvironment(configHome, secrets.busAddress()));
    terminal.setProcessChannelMode(QProcess::MergedChannels);
    terminal.start(
            QStringLiteral("script"),
            {QStringLiteral("-qefc"),
             QStringLiteral(ORVANE_SEND_PROGRAM " --sign-in --server 127.0.0.1 --user ") + other,
             QStringLiteral("/dev/null")});
    QString shown;
    static const QRegularExpression code(QStringLiteral("enter the code +(\\S+)"));
    QRegularExpressionMatch entered;
    while (!(entered = code.match(shown)).hasMatch() && terminal.waitForReadyRead(30000))
        shown += QString::fromUtf8(terminal.readAll());
    ASSERT_TRUE(entered.hasMatch()) << shown.toStdString();
    const QStringList approve = servers.deviceCommand(entered.captured(1), other);
    QProcess::startDetached(approve.first(), approve.mid(1));
    ASSERT_TRUE(terminal.waitForFinished(60000));
    shown += QString::fromUtf8(terminal.readAll());
    EXPECT_EQ(terminal.exitCode(), EX_OK) << shown.toStdString();
    EXPECT_TRUE(shown.contains(QStringLiteral("Signed in to Test as ") + other))
            << shown.toStdString();

    const Outcome sent = sendAs(other, servers.xoauth2OnlyPort());
    EXPECT_EQ(sent.code, EX_OK) << sent.err.toStdString();
    EXPECT_EQ(servers.delivered().size(), 2);
    EXPECT_TRUE(servers.dovecotLog().contains(QStringLiteral("method=XOAUTH2")));
}

// The child's part: the sign-in the window's Send makes, storing its token as the window does.
int signInAsTheWindowDoes()
{
    const mail::oauth::ProviderTable providers = mail::oauth::ProviderTable::fromKeys(
            settings::readAdministratorGroup(QStringLiteral("OAuth")));
    const mail::oauth::ConfiguredProvider *entry = providers.forServer(QStringLiteral("127.0.0.1"));
    if (!entry)
        return 2;
    mail::oauth::SignInOptions options; // the desktop's secret store, as in the window
    options.wait
            = std::make_shared<DeviceUser>(qEnvironmentVariable(approvalCommand).split(separator));
    mail::oauth::OAuthSignIn signIn(options);
    const auto token = signIn.accessToken(entry->provider, QStringLiteral("anna@example.test"));
    if (!token.ok() || !signIn.takeRemark().isEmpty()) {
        std::fprintf(stderr, "sign-in: %s\n", qPrintable(token.status.description));
        return 1;
    }
    return 0;
}

} // namespace
} // namespace orvane::test

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (qEnvironmentVariableIsSet(orvane::test::signInChild))
        return orvane::test::signInAsTheWindowDoes();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
