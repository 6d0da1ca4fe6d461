#include "MainWindow.h"

#include "directory/SearchAction.h"
#include "mail/SendAction.h"
#include "ui/ControlBuilder.h"
#include "ui/ControlTable.h"
#include "ui/FileDropFilter.h"
#include "ui/HandlerGuard.h"
#include "ui/MaskStyle.h"
#include "ui/PickList.h"
#include "ui/WindowInteractions.h"
#include "ui/WindowWait.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QImageReader>
#include <QLabel>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>

namespace orvane::ui {

using form::Control;

MainWindow::MainWindow(ComponentFactory factory, settings::SettingsStore &store, QWidget *parent)
    : QWidget(parent)
    , m_factory(std::move(factory))
    , m_store(store)
    , m_maskStyle(new MaskStyle)
{
    m_maskStyle->setParent(this);
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QString::fromLatin1(windowCaption));
    setWindowIcon(programIcon());
    // Nothing of the window but its five boxes is remembered: every run starts at this
    // size, at the window system's default place.
    resize(twipsToPixels(clientWidthTwips, logicalDpiX()),
           twipsToPixels(clientHeightTwips, logicalDpiY()));
    setAcceptDrops(false);

    createControls();
    m_fields = std::make_unique<WidgetFields>(this, m_controls);
    m_wait = new WindowWait(static_cast<QLabel *>(control(Control::lblStatus)), this);
    if (m_factory.wait)
        m_factory.wait->setTarget(m_wait);
    // Rows a search has listed so far are shown before each wait paints the window.
    connect(m_wait, &WindowWait::starting, this, [this] { m_fields->flushRows(); });
    // A session end held during a wait must not wait in turn for a box the handler shows
    // after it: closeForSessionEnd() closes such a box as soon as it opens.
    connect(m_wait, &WindowWait::finished, this, [this] {
        if (m_closeHeld && m_saveReport == settings::SaveReport::StandardError)
            QMetaObject::invokeMethod(this, &MainWindow::closeForSessionEnd, Qt::QueuedConnection);
    });
    connectEvents();
    control(Control::txtFrom)->setFocus();
}

MainWindow::~MainWindow()
{
    // Components may outlive the window; from now on they wait on the calling thread.
    if (m_factory.wait)
        m_factory.wait->setTarget(nullptr);
}

QIcon MainWindow::programIcon()
{
    QIcon icon;
    for (const char *file : {":/icons/envelope-32.xpm", ":/icons/envelope-16.xpm"}) {
        // Read as what it is: left to guess, the reader loads every image format plugin to ask
        // whether it knows the file, which costs the start several libraries.
        QImageReader reader(QString::fromLatin1(file), "xpm");
        reader.setAutoDetectImageFormat(false);
        icon.addPixmap(QPixmap::fromImage(reader.read()));
    }
    return icon;
}

QWidget *MainWindow::control(Control c) const
{
    return m_controls[static_cast<std::size_t>(c)];
}

void MainWindow::createControls()
{
    const QFont captions = captionFont(this);
    QWidget *previous = nullptr;
    for (const ControlRow &row : controlTable()) {
        QWidget *widget = createControl(row, this, m_maskStyle, captions);
        m_controls[static_cast<std::size_t>(row.control)] = widget;
        if (row.kind == ControlKind::Label) {
            // Labels lie beneath every other control (Label8 under txtPassword).
            widget->lower();
            continue;
        }
        if (previous)
            setTabOrder(previous, widget);
        previous = widget;
    }
}

// Every event reaches its handler through here, whatever raised it: the mouse, the keyboard,
// an accessibility action or a timer. Handlers never overlap: one that comes while another
// runs (waiting on the network, or showing its box) is refused, not queued. Returns whether
// the handler ran.
bool MainWindow::run(const char *handler, const std::function<void()> &body)
{
    if (m_handlersRunning > 0)
        return false;
    ++m_handlersRunning;
    runGuarded(*m_fields, handler, body);
    m_fields->flushRows();
    --m_handlersRunning;
    if (m_handlersRunning == 0)
        carryOutHeldClose();
    return true;
}

// The Send action's error trap covers every failure of its steps, so an exception that
// escapes it all the same ends in the action's own failure box, in its words.
void MainWindow::sendWithTrap()
{
    const std::optional<QString> failure
            = failureOf([this] { mail::btnOrvane_Click(*m_fields, *m_factory.mail); });
    if (failure)
        m_fields->messageBox(mail::failureBoxText(*m_fields, *failure));
}

void MainWindow::carryOutHeldClose()
{
    if (!m_closeHeld)
        return;
    m_closeHeld = false;
    if (m_saveReport == settings::SaveReport::StandardError)
        closeForSessionEnd();
    else
        close();
}

void MainWindow::connectEvents()
{
    auto *send = static_cast<QPushButton *>(control(Control::btnOrvane));
    connect(send, &QPushButton::clicked, this,
            [this] { run("btnOrvane_Click", [this] { sendWithTrap(); }); });

    auto *search = static_cast<QPushButton *>(control(Control::cmdLdapSearch));
    connect(search, &QPushButton::clicked, this, [this] {
        run("cmdLdapSearch_Click",
            [this] { directory::cmdLdapSearch_Click(*m_fields, *m_factory.directory); });
    });

    auto *results = static_cast<PickList *>(control(Control::lstEmail));
    connect(results, &PickList::picked, this,
            [this] { run("lstEmail_Click", [this] { directory::lstEmail_Click(*m_fields); }); });

    // Only the user changes the tick; the program sets it only to undo a refused toggle.
    auto *authentication = static_cast<QCheckBox *>(control(Control::chkSMTPAuth));
    connect(authentication, &QCheckBox::toggled, this, [this, authentication](bool ticked) {
        if (run("chkSMTPAuth_Click", [this] { chkSMTPAuth_Click(*m_fields); }))
            return;
        // A refused toggle is undone, so the group is shown exactly while the box is ticked.
        const QSignalBlocker unnoticed(authentication);
        authentication->setChecked(!ticked);
    });

    // The two drop targets hand their files to the handlers and never take text themselves.
    QWidget *attachment = control(Control::txtAttachment);
    auto *attachmentDrops = new FileDropFilter(attachment);
    attachment->setAcceptDrops(true);
    attachment->installEventFilter(attachmentDrops);
    connect(attachmentDrops, &FileDropFilter::filesDropped, this, [this](const QStringList &files) {
        run("txtAttachment_OLEDragDrop", [&] { txtAttachment_OLEDragDrop(*m_fields, files); });
    });

    auto *body = static_cast<QPlainTextEdit *>(control(Control::txtBody));
    auto *bodyDrops = new FileDropFilter(body);
    for (QWidget *target : {static_cast<QWidget *>(body), body->viewport()}) {
        target->setAcceptDrops(true);
        target->installEventFilter(bodyDrops);
    }
    connect(bodyDrops, &FileDropFilter::filesDropped, this, [this](const QStringList &files) {
        run("txtBody_OLEDragDrop", [&] { txtBody_OLEDragDrop(*m_fields, files); });
    });
}

void MainWindow::load()
{
    run("Form_Load", [this] { settings::Form_Load(*m_fields, m_store); });
}

void MainWindow::unload(settings::SaveReport report)
{
    if (m_unloaded)
        return;
    m_unloaded = true;
    const FailureReport failures = report == settings::SaveReport::StandardError
                                           ? FailureReport::StandardError
                                           : FailureReport::MessageBox;
    runGuarded(
            *m_fields, "Form_Unload",
            [this, report] {
                int cancel = 0;
                settings::Form_Unload(*m_fields, m_store, cancel, report);
            },
            failures);
}

void MainWindow::closeForSessionEnd()
{
    m_saveReport = settings::SaveReport::StandardError;
    // A box left open would keep its own event loop, and with it the program, running.
    while (QWidget *modal = QApplication::activeModalWidget()) {
        if (modal == this || !modal->close())
            break;
    }
    close();
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    if (m_wait->isWaiting()) {
        // What was typed is saved now, whatever the server does; then the wait is abandoned.
        if (m_endDuringWait) {
            unload(m_saveReport);
            m_endDuringWait();
        }
        // Held, never refused: the handler runs to its end first, and Form_Unload then runs
        // once, after it. A sign-in waiting for the user is cancelled, so that end comes now.
        m_wait->cancelPrompt();
        m_closeHeld = true;
        event->ignore();
        return;
    }
    m_closeHeld = false;
    unload(m_saveReport);
    event->accept();
}

} // namespace orvane::ui
