// The window during a wait on the network: it paints, drops input, holds a close until the
// handler has ended, shows how far a large upload is, and lists addresses as pages arrive.
#include "HeldSmtpServer.h"
#include "MemoryStore.h"
#include "WaitSteps.h"
#include "app/DefaultComponents.h"
#include "app/TerminationSignals.h"
#include "directory/DirectoryTestData.h"
#include "directory/LdapDirectoryComponents.h"
#include "settings/QSettingsStore.h"
#include "support/Loopback.h"
#include "support/QtPrinters.h"
#include "support/RequireServer.h"
#include "support/SlapdServer.h"
#include "ui/MainWindow.h"
#include "ui/PickList.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <csignal>
#include <cstdlib>
#include <gtest/gtest.h>
#include <iostream>
#include <memory>
#include <vector>

namespace {

using namespace orvane;
using form::Control;
using test::HeldSmtpServer;
using test::PaintWatch;
using test::Steps;

class NetworkWaitTest : public ::testing::Test
{
protected:
    void open(ui::ComponentFactory factory
              = app::defaultComponents(QStringLiteral(ORVANE_TEST_MODULE_DIR)))
    {
        window = std::make_unique<ui::MainWindow>(std::move(factory), store);
        window->load();
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }

    // A window whose Send goes to the held server.
    void openForSend()
    {
        const QString missing = server.start();
        ORVANE_REQUIRE_SERVER(missing.isEmpty(), missing);
        open();
        window->fields().setText(Control::txtSMTP, "127.0.0.1");
        window->fields().setText(Control::txtPort, QString::number(server.port()));
        window->fields().setText(Control::txtFrom, "scanner@example.com");
        window->fields().setText(Control::txtTo, "desk@example.com");
    }

    template<class T = QWidget>
    T *find(const char *name) const
    {
        return window->findChild<T *>(QString::fromLatin1(name));
    }
    QString status() const { return find<QLabel>("lblStatus")->text(); }
    void click(const char *button) { QTest::mouseClick(find(button), Qt::LeftButton); }

    static bool busyCursor()
    {
        return QGuiApplication::overrideCursor()
               && QGuiApplication::overrideCursor()->shape() == Qt::WaitCursor;
    }

    HeldSmtpServer server;
    test::MemoryStore store;
    std::unique_ptr<ui::MainWindow> window;
};

TEST_F(NetworkWaitTest, HeldSendPaintsDropsInputAndClosesAfterTheHandler)
{
    openForSend();
    auto *subject = find<QLineEdit>("txtSubject");
    subject->setText("Scan");
    int paints = 0;
    PaintWatch watch(window.get(), [&] { ++paints; });
    int paintsBefore = 0;
    bool closedDuringWait = true;

    // Were a second click taken, its message would be answered at once.
    server.release(2);
    Steps steps;
    steps.then([&] { return server.holding(1); },
               [&] {
                   EXPECT_TRUE(busyCursor());
                   paintsBefore = paints;
                   window->update();
               });
    steps.then([&] { return paints > paintsBefore; },
               [&] {
                   // A second click, typing, the close box and a session end, all while the
                   // server holds.
                   click("btnOrvane");
                   QTest::keyClicks(subject, "more");
                   closedDuringWait = window->close();
                   window->closeForSessionEnd();
                   EXPECT_TRUE(window->isVisible());
                   EXPECT_EQ(store.commits, 0);
                   server.release(1);
               });
    click("btnOrvane");

    ASSERT_EQ(steps.done(), 2u) << "the wait loop did not run the steps";
    EXPECT_EQ(steps.boxes, QStringList());
    EXPECT_FALSE(closedDuringWait);
    EXPECT_TRUE(status().startsWith("Message Sent. ")) << status().toStdString();
    EXPECT_EQ(subject->text(), QStringLiteral("Scan"));
    EXPECT_FALSE(busyCursor());
    // The held close happened once the handler had ended: Form_Unload ran once.
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(window->isUnloaded());
    EXPECT_EQ(store.commits, 1);
    QCoreApplication::processEvents();
    EXPECT_EQ(server.messages(), 1);
}

// The window as the program wires it, a Send or a search waiting for a server that has taken
// the connection and never says a word, and a close or SIGTERM during that wait. Ends the
// process; returns only if the close did not end it.
void endDuringSilentWait(const QString &subject, bool search, bool signal)
{
    const test::SilentListener silent;
    const QString port = QString::number(silent.port());
    app::ignoreBrokenPipes();
    app::TerminationSignals termination;
    settings::QSettingsStore store;
    ui::MainWindow window(app::defaultComponents(QStringLiteral(ORVANE_TEST_MODULE_DIR)), store);
    app::endWithSession(window, termination);
    window.load();
    window.show();
    form::FormFields &fields = window.fields();
    fields.setText(Control::txtSMTP, "127.0.0.1");
    fields.setText(Control::txtPort, port);
    fields.setText(Control::txtTo, "desk@example.com");
    fields.setText(Control::txtSubject, subject);
    fields.setText(Control::txtLdapCon, "127.0.0.1:" + port + "/ou=people,dc=example,dc=test");
    fields.setText(Control::txtLdap, "Sm");
    QTimer::singleShot(300, &window, [&] {
        if (signal)
            ::raise(SIGTERM);
        else
            window.close();
    });
    QTest::mouseClick(window.findChild<QWidget *>(search ? "cmdLdapSearch" : "btnOrvane"),
                      Qt::LeftButton);
}

// The five boxes are saved and the program ends within moments: the wait is abandoned, not
// awaited.
TEST_F(NetworkWaitTest, ACloseOrASignalDuringAWaitSavesAndEndsTheProgram)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const QString saved = qEnvironmentVariable("XDG_CONFIG_HOME")
                          + QStringLiteral("/Quarrow Orvane/orvane.conf");
    struct Row
    {
        const char *subject;
        bool search;
        bool signal;
    };
    for (const Row &row :
         {Row{"Closed during a send", false, false}, Row{"Signalled during a send", false, true},
          Row{"Signalled during a search", true, true}}) {
        SCOPED_TRACE(row.subject);
        QFile::remove(saved);
        QElapsedTimer timer;
        timer.start();
        EXPECT_EXIT(
                {
                    endDuringSilentWait(row.subject, row.search, row.signal);
                    std::exit(1);
                },
                ::testing::ExitedWithCode(0), "");
        std::cout << "    " << row.subject << ": ended after " << timer.elapsed() << " ms\n";
        // Not fatal: the process of a later row runs past this one's checks, on no file.
        QFile file(saved);
        EXPECT_TRUE(file.open(QIODevice::ReadOnly)
                    && file.readAll().contains(QByteArray("Subject=") + row.subject));
    }
}

TEST_F(NetworkWaitTest, AnAccessibilityPressDuringASendStartsNoSecondSend)
{
    openForSend();
    // Were the second press taken, its message would be answered at once.
    server.release(2);
    QElapsedTimer sincePress;
    Steps steps;
    steps.then([&] { return server.holding(1); },
               [&] {
                   QAccessibleInterface *send
                           = QAccessible::queryAccessibleInterface(find("btnOrvane"));
                   ASSERT_NE(send, nullptr);
                   ASSERT_NE(send->actionInterface(), nullptr);
                   send->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
                   sincePress.start();
                   // A toggle is refused too, and undone.
                   QAccessible::queryAccessibleInterface(find("chkSMTPAuth"))
                           ->actionInterface()
                           ->doAction(QAccessibleActionInterface::toggleAction());
               });
    // The press lands as a click once its short animation has run.
    steps.then([&] { return sincePress.isValid() && sincePress.elapsed() > 500; },
               [&] { server.release(1); });
    click("btnOrvane");

    ASSERT_EQ(steps.done(), 2u) << "the wait loop did not run the steps";
    EXPECT_TRUE(status().startsWith("Message Sent. ")) << status().toStdString();
    EXPECT_FALSE(find<QAbstractButton>("chkSMTPAuth")->isChecked());
    EXPECT_TRUE(find("txtUsername")->isHidden());
    QCoreApplication::processEvents();
    EXPECT_EQ(server.messages(), 1);
}

TEST_F(NetworkWaitTest, LargeSendShowsProgressThenWhatTheSendActionSays)
{
    openForSend();
    QTemporaryDir files;
    const QString path = files.filePath("scan.pdf");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    QByteArray bytes(qsizetype(1536) * 1024, Qt::Uninitialized);
    QRandomGenerator(7).fillRange(reinterpret_cast<quint32 *>(bytes.data()), bytes.size() / 4);
    file.write(bytes);
    file.close();
    window->fields().setText(Control::txtAttachment, path);

    const QRegularExpression progress(R"(^Sending\.\.\. \d+[.,]\d of 2[.,]\d MB$)");
    QStringList shown;
    Steps steps;
    for (int n : {1, 2}) {
        steps.then([&, n] { return server.holding(n) && progress.match(status()).hasMatch(); },
                   [&, n] {
                       shown << status();
                       server.release(n, n == 1 ? "" : "554 5.6.0 held: not this one");
                   });
    }

    click("btnOrvane");
    EXPECT_TRUE(status().startsWith("Message Sent. ")) << status().toStdString();
    click("btnOrvane");
    EXPECT_EQ(status(), QString());
    EXPECT_EQ(steps.done(), 2u) << shown.join(" | ").toStdString();
    ASSERT_EQ(steps.boxes.size(), 1);
    EXPECT_TRUE(steps.boxes[0].contains("554 5.6.0 held: not this one"))
            << steps.boxes[0].toStdString();
    EXPECT_EQ(server.messages(), 2);
}

// Where the handler asks for name order, asks for createTimestamp order, which slapd's sort
// overlay can do: the handler's search then takes the path where the server sorts.
class ServerSortedDirectory : public directory::DirectoryComponents
{
public:
    explicit ServerSortedDirectory(directory::LdapProviderOptions options)
        : m_real(std::move(options))
    {}

    form::Result<std::unique_ptr<directory::Connection>> createConnection() override
    {
        return m_real.createConnection();
    }
    form::Result<std::unique_ptr<directory::Command>> createCommand() override
    {
        auto command = m_real.createCommand();
        if (serverSorts)
            command.value = std::make_unique<Rewriting>(std::move(command.value));
        return command;
    }

    bool serverSorts = true;

private:
    class Rewriting : public directory::Command
    {
    public:
        explicit Rewriting(std::unique_ptr<directory::Command> real)
            : m_real(std::move(real))
        {}
        form::Status setActiveConnection(directory::Connection &c) override
        {
            return m_real->setActiveConnection(c);
        }
        form::Status setCommandText(const QString &text) override
        {
            return m_real->setCommandText(
                    QString(text).replace("ORDER BY NAME", "ORDER BY createTimestamp"));
        }
        form::Status setProperty(const QString &name, const directory::Value &value) override
        {
            return m_real->setProperty(name, value);
        }
        form::Result<std::unique_ptr<directory::Recordset>> execute(int options) override
        {
            return m_real->execute(options);
        }

    private:
        std::unique_ptr<directory::Command> m_real;
    };

    directory::LdapDirectoryComponents m_real;
};

TEST_F(NetworkWaitTest, AddressesAppearPageByPageWhereTheServerSorts)
{
    const test::DirectoryTestData data = test::DirectoryTestData::sorted();
    test::SlapdServer slapd;
    ORVANE_REQUIRE_SERVER(
            slapd.start({{data.suffix, data.ldif(), {"sssvlv"}, {}}},
                        {"sizelimit size.soft=1000 size.hard=1000 size.prtotal=unlimited",
                         "access to attrs=userPassword by anonymous auth by * none",
                         "access to * by users read by * none"}),
            slapd.error());
    ui::ComponentFactory factory = app::defaultComponents(QStringLiteral(ORVANE_TEST_MODULE_DIR));
    directory::LdapProviderOptions options;
    options.wait = factory.wait;
    options.caFile = slapd.caFile(); // slapd takes StartTLS with the certificate of our test CA
    auto directory = std::make_shared<ServerSortedDirectory>(options);
    factory.directory = directory;
    open(factory);

    auto *list = find<ui::PickList>("lstEmail");
    // The directory panel lies beyond the window's first size: uncover it.
    window->resize(list->geometry().bottomRight().x() + 20, list->geometry().bottom() + 20);
    window->fields().setText(
            Control::txtLdapCon,
            QStringLiteral("127.0.0.1:%1/%2").arg(slapd.plainPort()).arg(data.peopleDn()));
    window->fields().setText(Control::txtLdapUser, data.readerDn());
    window->fields().setText(Control::txtLdapPassword, data.readerPassword);
    window->fields().setText(Control::txtLdap, "Pers");
    QTest::qWait(0);

    bool searching = false;
    QList<int> rowsAtPaint;
    PaintWatch watch(list->viewport(), [&] {
        if (searching)
            rowsAtPaint << list->count();
    });
    auto search = [&] {
        rowsAtPaint.clear();
        searching = true;
        click("cmdLdapSearch");
        searching = false;
        QStringList rows;
        for (int i = 0; i < list->count(); ++i)
            rows << list->text(i);
        return rows;
    };

    // 1,500 addresses in pages of 1,000: the first page is painted before the second arrives.
    QStringList expected = data.expectedMails("Pers");
    ASSERT_EQ(expected.size(), 1500);
    std::reverse(expected.begin(), expected.end()); // createTimestamp runs against the names
    EXPECT_EQ(search(), expected);
    EXPECT_TRUE(rowsAtPaint.contains(1000)) << rowsAtPaint.size();

    // Sorted here: nothing before the last page, then the whole list at once.
    directory->serverSorts = false;
    std::reverse(expected.begin(), expected.end());
    EXPECT_EQ(search(), expected);
    for (int rows : rowsAtPaint)
        EXPECT_TRUE(rows == 0 || rows == expected.size()) << rows;
}

} // namespace
