// The benchmark side of the window, one mode per run (scripts/bench measures each run from
// outside: wall time and peak resident set size of the whole process):
//   orvane_bench startup                    launch, first paint of the window, out
//   orvane_bench send HOST PORT FILE        the Send action with FILE attached
//   orvane_bench search PATH PREFIX USER PASSWORD EXPECTED REPORT
//                                           the directory search; appends "seconds
//                                           first-line-seconds" to REPORT
//   orvane_bench compose FILE OUT           the message the Send action builds, written to OUT
// The settings it loads and saves go where XDG_CONFIG_HOME points, which must be set so that a
// benchmark never touches a person's own settings.
#include "bench/ActionDriver.h"
#include "bench/FirstPaintQuit.h"
#include "bench/OrvaneProcess.h"
#include "mail/MessageComposer.h"
#include "mail/SendAction.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
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

int send(QApplication &app, const QStringList &args)
{
    OrvaneProcess process(app);
    ActionDriver driver(process.window());
    driver.type("txtSMTP", args[0]);
    driver.type("txtPort", args[1]);
    driver.type("txtFrom", sender);
    driver.type("txtTo", recipient);
    driver.type("txtSubject", subject);
    driver.type("txtBody", body);
    driver.type("txtAttachment", args[2]);
    const QString sent = QString::fromLatin1(orvane::mail::sentStatusPrefix);
    const ActionDriver::Outcome outcome = driver.click(
            "btnOrvane", [&] { return driver.caption("lblStatus").startsWith(sent); }, 600000);
    if (!outcome.ok)
        return fail(QStringLiteral("the send failed: ") + outcome.failure);
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
    QFile report(args[5]);
    if (!report.open(QIODevice::Append | QIODevice::Text))
        return fail(report.fileName() + QStringLiteral(": ") + report.errorString());
    report.write(QByteArray::number(outcome.seconds, 'f', 4) + ' '
                 + QByteArray::number(outcome.firstRowSeconds, 'f', 4) + '\n');
    return 0;
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
    return fail(QStringLiteral("usage: orvane_bench startup | send HOST PORT FILE | search PATH "
                               "PREFIX USER PASSWORD EXPECTED REPORT | compose FILE OUT"));
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
    if (std::strcmp(mode, "send") == 0 && args.size() == 3)
        return send(app, args);
    if (std::strcmp(mode, "search") == 0 && args.size() == 6)
        return search(app, args);
    if (std::strcmp(mode, "compose") == 0 && args.size() == 2)
        return compose(args);
    return usage();
}
