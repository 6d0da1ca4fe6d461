// The benchmark side of the window, one mode per run (scripts/bench measures each run from
// outside: wall time and peak resident set size of the whole process):
//   orvane_bench startup                    launch, first paint of the window, out
//   orvane_bench send HOST PORT FILE [USER PASSWORD] [REPORT]
//                                           the Send action with FILE attached, logged in with
//                                           USER and PASSWORD when given; appends the seconds
//                                           from the click to "Message Sent." to REPORT
//   orvane_bench send-oauth HOST PORT FILE USER
//                                           the same logged in as USER with the password left
//                                           empty, so signed in with OAuth by the refresh token
//                                           a sign-in stored; fails where it is asked for a code
//   orvane_bench sign-in HOST PORT FILE USER -- COMMAND [ARG...]
//                                           send-oauth signing in with the device flow: once the
//                                           code shows, COMMAND runs with it as its last
//                                           argument, as the user typing it on another device
//   orvane_bench search PATH PREFIX USER PASSWORD EXPECTED REPORT
//                                           the directory search; appends "seconds
//                                           first-line-seconds" to REPORT
//   orvane_bench compose FILE OUT           the message the Send action builds, written to OUT
// The settings it loads and saves go where XDG_CONFIG_HOME points, which must be set so that a
// benchmark never touches a person's own settings; the OAuth modes read their provider from the
// same file, and keep the refresh token in the Secret Service of DBUS_SESSION_BUS_ADDRESS.
#include "bench/ActionDriver.h"
#include "bench/FirstPaintQuit.h"
#include "bench/OrvaneProcess.h"
#include "mail/MessageComposer.h"
#include "mail/SendAction.h"
#include "ui/WaitPromptBox.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QTimer>

#include <cstdio>
#include <cstring>

namespace {

using orvane::bench::ActionDriver;
using orvane::bench::FirstPaintQuit;
using orvane::bench::OrvaneProcess;

const QString sender = QStringLiteral("bench@orvane.test");
const QString recipient = QStringLiteral("sink@orvane.test");
const QString subject = QStringLiteral("Scanned document");
const QString body = QStringLiteral("The scanned document is attached.");

int fail(const QString &why)
{
    std::fprintf(stderr, "orvane_bench: %s\n", qPrintable(why));
    return 1;
}

int startup(QApplication &app)
{
    FirstPaintQuit quit;
    app.installEventFilter(&quit);
    OrvaneProcess process(app);
    return QApplication::exec();
}

// The window filled in for a send of FILE to HOST:PORT (the first three arguments), logged in
// as user when one is given.
void fill(ActionDriver &driver, const QStringList &args, const QString &user,
          const QString &password)
{
    driver.type("txtSMTP", args[0]);
    driver.type("txtPort", args[1]);
    driver.type("txtFrom", sender);
    driver.type("txtTo", recipient);
    driver.type("txtSubject", subject);
    driver.type("txtBody", body);
    driver.type("txtAttachment", args[2]);
    if (!user.isEmpty()) {
        driver.tick("chkSMTPAuth");
        driver.type("txtUsername", user);
        driver.type("txtPassword", password);
    }
}

bool sent(const ActionDriver &driver)
{
    return driver.caption("lblStatus")
            .startsWith(QString::fromLatin1(orvane::mail::sentStatusPrefix));
}

// Appends one line of figures to the file a run reports into.
int report(const QString &path, const QByteArray &line)
{
    QFile file(path);
    if (!file.open(QIODevice::Append | QIODevice::Text))
        return fail(file.fileName() + QStringLiteral(": ") + file.errorString());
    file.write(line + '\n');
    return 0;
}

// USER and PASSWORD come as a pair, so REPORT is there when the count of arguments is even.
int send(QApplication &app, const QStringList &args)
{
    const bool reporting = args.size() % 2 == 0;
    const QStringList login = args.mid(3, args.size() - 3 - (reporting ? 1 : 0));
    OrvaneProcess process(app);
    ActionDriver driver(process.window());
    fill(driver, args, login.value(0), login.value(1));
    const ActionDriver::Outcome outcome = driver.click(
            "btnOrvane", [&] { return sent(driver); }, 600000);
    if (!outcome.ok)
        return fail(QStringLiteral("the send failed: ") + outcome.failure);
    return reporting ? report(args.last(), QByteArray::number(outcome.seconds, 'f', 4)) : 0;
}

// Watches for the sign-in's prompt while a send runs. With an approver, it runs it with the
// device code; without one, any prompt means the stored refresh token was not found (or not
// taken), and it cancels.
class PromptWatch
{
public:
    PromptWatch(const QWidget &window, const QStringList &approver)
        : m_window(window)
        , m_approver(approver)
    {
        m_user.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_user.setStandardOutputFile(QProcess::nullDevice());
        // An approver that fails leaves the device flow polling until the code expires.
        QObject::connect(&m_user, &QProcess::finished, [this](int code, QProcess::ExitStatus how) {
            if (how != QProcess::NormalExit || code != 0) {
                m_failure = QStringLiteral("%1 failed (exit %2)").arg(m_approver.first()).arg(code);
                cancel();
            }
        });
        m_poll.setInterval(2);
        QObject::connect(&m_poll, &QTimer::timeout, [this] { look(); });
        m_poll.start();
    }

    bool prompted() const { return m_prompted; }
    // Why the approver did not get the code through; empty when it did, or none ran.
    QString failure()
    {
        if (m_user.state() != QProcess::NotRunning && !m_user.waitForFinished(30000))
            return QStringLiteral("%1 did not finish").arg(m_approver.first());
        return m_failure;
    }

private:
    // The box is the window's child, and not modal: the window's close must still reach it.
    orvane::ui::WaitPromptBox *box() const
    {
        auto *prompt = m_window.findChild<orvane::ui::WaitPromptBox *>();
        return prompt && prompt->isVisible() ? prompt : nullptr;
    }

    void look()
    {
        orvane::ui::WaitPromptBox *prompt = box();
        if (!prompt || m_prompted)
            return;
        m_prompted = true;
        auto *code = prompt->findChild<QLabel *>(QStringLiteral("promptCode"));
        if (m_approver.isEmpty() || !code) {
            cancel();
            return;
        }
        m_user.start(m_approver.first(), m_approver.mid(1) << code->text());
    }

    void cancel()
    {
        if (orvane::ui::WaitPromptBox *prompt = box())
            if (auto *button = prompt->findChild<QPushButton *>(QStringLiteral("btnCancelPrompt")))
                button->click();
    }

    const QWidget &m_window;
    QStringList m_approver;
    QProcess m_user;
    QTimer m_poll;
    bool m_prompted = false;
    QString m_failure;
};

int oauthSend(QApplication &app, const QStringList &args, const QStringList &approver)
{
    OrvaneProcess process(app);
    ActionDriver driver(process.window());
    fill(driver, args, args[3], QString());
    PromptWatch watch(process.window(), approver);
    const QString cancelled = QString::fromLatin1(orvane::mail::cancelledStatus);
    const ActionDriver::Outcome outcome = driver.click(
            "btnOrvane", [&] { return sent(driver) || driver.caption("lblStatus") == cancelled; },
            120000);
    const QString status = driver.caption("lblStatus");
    if (approver.isEmpty() && watch.prompted())
        return fail(QStringLiteral("no stored refresh token was used: the send asked for a "
                                   "device code"));
    if (const QString failure = watch.failure(); !failure.isEmpty())
        return fail(QStringLiteral("the device code was not approved: ") + failure);
    if (!outcome.ok || !sent(driver))
        return fail(QStringLiteral("the send failed: ")
                    + (outcome.failure.isEmpty() ? status : outcome.failure));
    // A remark follows the date after two spaces; the sign-in's says that no secret store
    // took the refresh token, so the next run would have to sign in again.
    if (const qsizetype remark = status.indexOf(QStringLiteral("  ")); remark >= 0)
        return fail(QStringLiteral("the refresh token was not stored: ")
                    + status.mid(remark).trimmed());
    return 0;
}

int search(QApplication &app, const QStringList &args)
{
    OrvaneProcess process(app);
    ActionDriver driver(process.window());
    driver.type("txtLdapCon", args[0]);
    driver.type("txtLdap", args[1]);
    driver.type("txtLdapUser", args[2]);
    driver.type("txtLdapPassword", args[3]);
    const int expected = args[4].toInt();
    const ActionDriver::Outcome outcome = driver.click(
            "cmdLdapSearch", [&] { return driver.listCount("lstEmail") >= expected; }, 120000);
    if (!outcome.ok)
        return fail(QStringLiteral("the search failed (%1 of %2 addresses listed): %3")
                            .arg(driver.listCount("lstEmail"))
                            .arg(expected)
                            .arg(outcome.failure));
    if (driver.listCount("lstEmail") != expected)
        return fail(QStringLiteral("the search listed %1 addresses, not %2")
                            .arg(driver.listCount("lstEmail"))
                            .arg(expected));
    return report(args[5], QByteArray::number(outcome.seconds, 'f', 4) + ' '
                                   + QByteArray::number(outcome.firstRowSeconds, 'f', 4));
}

int compose(const QStringList &args)
{
    using namespace orvane::mail;
    using orvane::form::Result;
    using orvane::form::Status;
    const QFileInfo file(args[0]);
    MessageParts parts;
    parts.from = {QString(), sender};
    parts.to = {{QString(), recipient}};
    parts.subject = subject;
    // The Send action ends the body with an empty line.
    parts.body = body + QStringLiteral("\r\n\r\n");
    parts.date = QDateTime::currentDateTime();
    parts.attachments.append(
            {file.filePath(), file.fileName(), "application/octet-stream", file.size()});
    Result<MimeStream> message = MessageComposer().compose(parts);
    if (!message.ok())
        return fail(message.status.description);
    if (Status opened = message.value.open(); !opened.ok())
        return fail(opened.description);
    QFile out(args[1]);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return fail(out.fileName() + QStringLiteral(": ") + out.errorString());
    QByteArray chunk(qsizetype(1) << 20, Qt::Uninitialized);
    qint64 n = 0;
    while ((n = message.value.read(chunk.data(), chunk.size())) > 0) {
        if (out.write(chunk.constData(), n) != n)
            return fail(out.fileName() + QStringLiteral(": ") + out.errorString());
    }
    return n < 0 ? fail(message.value.status().description) : 0;
}

int usage()
{
    return fail(QStringLiteral("usage: orvane_bench startup | send HOST PORT FILE [USER PASSWORD] "
                               "[REPORT] | send-oauth HOST PORT FILE USER | sign-in HOST PORT "
                               "FILE USER -- COMMAND [ARG...] | search PATH PREFIX USER "
                               "PASSWORD EXPECTED REPORT | compose FILE OUT"));
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc < 2)
        return usage();
    if (qEnvironmentVariableIsEmpty("XDG_CONFIG_HOME"))
        return fail(QStringLiteral("set XDG_CONFIG_HOME to a scratch folder first"));
    const char *mode = argv[1];
    QApplication app(argc, argv);
    const QStringList args = QApplication::arguments().mid(2);
    if (std::strcmp(mode, "startup") == 0 && args.isEmpty())
        return startup(app);
    if (std::strcmp(mode, "send") == 0 && args.size() >= 3 && args.size() <= 6)
        return send(app, args);
    if (std::strcmp(mode, "send-oauth") == 0 && args.size() == 4)
        return oauthSend(app, args, {});
    if (std::strcmp(mode, "sign-in") == 0 && args.size() > 5 && args[4] == QLatin1String("--"))
        return oauthSend(app, args, args.mid(5));
    if (std::strcmp(mode, "search") == 0 && args.size() == 6)
        return search(app, args);
    if (std::strcmp(mode, "compose") == 0 && args.size() == 2)
        return compose(args);
    return usage();
}
