#include "WindowWait.h"

#include "ui/WaitPromptBox.h"

#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QLocale>
#include <QThread>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <exception>
#include <thread>

namespace orvane::ui {

namespace {

constexpr qint64 megabyte = qint64(1024) * 1024;
// A few updates a second: enough to see it move, too few to cost the upload anything.
constexpr int progressIntervalMs = 250;

bool isUserInput(QEvent::Type type)
{
    switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::NonClientAreaMouseButtonPress:
    case QEvent::NonClientAreaMouseButtonRelease:
    case QEvent::NonClientAreaMouseButtonDblClick:
    case QEvent::NonClientAreaMouseMove:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::Shortcut:
    case QEvent::ShortcutOverride:
    case QEvent::ContextMenu:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TouchCancel:
    case QEvent::TabletPress:
    case QEvent::TabletMove:
    case QEvent::TabletRelease:
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::DragLeave:
    case QEvent::Drop:
    case QEvent::InputMethod:
    case QEvent::NativeGesture:
    case QEvent::Gesture:
    case QEvent::GestureOverride:
        return true;
    default:
        return false;
    }
}

} // namespace

// The state of one wait, undone however run() leaves.
class WindowWait::Scope
{
public:
    explicit Scope(WindowWait &wait)
        : m_wait(wait)
    {
        m_wait.m_waiting = true;
        m_wait.m_sent.store(0);
        m_wait.m_total.store(0);
        // On the application, so input is dropped before it reaches any window or widget.
        QCoreApplication::instance()->installEventFilter(&m_wait);
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    }
    ~Scope()
    {
        m_wait.m_progressTimer->stop();
        m_wait.restoreStatus();
        QGuiApplication::restoreOverrideCursor();
        QCoreApplication::instance()->removeEventFilter(&m_wait);
        m_wait.m_waiting = false;
    }

    Scope(const Scope &) = delete;
    Scope &operator=(const Scope &) = delete;

private:
    WindowWait &m_wait;
};

WindowWait::WindowWait(QLabel *status, QObject *parent)
    : QObject(parent)
    , m_status(status)
    , m_progressTimer(new QTimer(this))
{
    m_progressTimer->setInterval(progressIntervalMs);
    connect(m_progressTimer, &QTimer::timeout, this, &WindowWait::showProgress);
}

WindowWait::~WindowWait() = default;

void WindowWait::run(const std::function<void()> &work)
{
    runAlongside(work, [] {});
}

void WindowWait::runAlongside(const std::function<void()> &work,
                              const std::function<void()> &meanwhile)
{
    // Only the user-interface thread keeps painting here; any other caller (and a wait inside
    // a wait, which no component makes) simply does the work.
    if (m_waiting || !QCoreApplication::instance()
        || QThread::currentThread() != QCoreApplication::instance()->thread()) {
        meanwhile();
        work();
        return;
    }

    std::exception_ptr failure;
    std::exception_ptr ownFailure;
    {
        const Scope scope(*this);
        // What the handler has written so far reaches the screen before the network is
        // touched: each page of addresses is painted before the next one is asked for.
        emit starting();
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::UpdateRequest);

        std::atomic<bool> done{false};
        std::thread worker([&] {
            try {
                work();
            } catch (...) {
                failure = std::current_exception();
            }
            done.store(true);
            // Wakes the loop below.
            QMetaObject::invokeMethod(
                    QCoreApplication::instance(), [] {}, Qt::QueuedConnection);
        });
        m_progressTimer->start();
        try {
            meanwhile();
        } catch (...) {
            ownFailure = std::current_exception();
        }
        // Not QEventLoop::exec(): that returns at once while the application is quitting,
        // and the handler must not go on before the work is done.
        while (!done.load())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        worker.join();
    }
    emit finished();
    if (ownFailure)
        std::rethrow_exception(ownFailure);
    if (failure)
        std::rethrow_exception(failure);
}

void WindowWait::runPrompted(const form::WaitPrompt &prompt,
                             const std::function<void(const std::atomic<bool> &cancelled)> &work)
{
    std::atomic<bool> cancelled{false};
    if (m_waiting || !m_status || !QCoreApplication::instance()
        || QThread::currentThread() != QCoreApplication::instance()->thread()) {
        work(cancelled);
        return;
    }
    WaitPromptBox box(prompt, m_status->window());
    connect(&box, &WaitPromptBox::cancelRequested, this, [&cancelled] { cancelled.store(true); });
    m_prompt = &box;
    box.show();
    struct Finish
    {
        WaitPromptBox &box;
        QPointer<WaitPromptBox> &prompt;
        ~Finish()
        {
            QGuiApplication::restoreOverrideCursor();
            prompt = nullptr;
            box.finish();
        }
    } finish{box, m_prompt};
    // The box is for clicking: the pointer over it is an arrow, not the busy cursor.
    runAlongside([&] { work(cancelled); },
                 [] { QGuiApplication::setOverrideCursor(Qt::ArrowCursor); });
}

void WindowWait::cancelPrompt()
{
    if (m_prompt)
        m_prompt->cancel();
}

void WindowWait::uploaded(qint64 sent, qint64 total)
{
    m_sent.store(sent, std::memory_order_relaxed);
    m_total.store(total, std::memory_order_relaxed);
}

QString WindowWait::progressText(qint64 sent, qint64 total)
{
    const QLocale locale;
    return QStringLiteral("Sending... %1 of %2 MB")
            .arg(locale.toString(double(sent) / megabyte, 'f', 1),
                 locale.toString(double(total) / megabyte, 'f', 1));
}

void WindowWait::showProgress()
{
    const qint64 total = m_total.load(std::memory_order_relaxed);
    if (total <= megabyte || !m_status)
        return;
    if (!m_statusBefore)
        m_statusBefore = m_status->text();
    m_status->setText(progressText(m_sent.load(std::memory_order_relaxed), total));
}

void WindowWait::restoreStatus()
{
    // The handler writes its own status next: after a failure the line is empty again.
    if (m_statusBefore && m_status)
        m_status->setText(*m_statusBefore);
    m_statusBefore.reset();
}

bool WindowWait::isForPrompt(QObject *receiver) const
{
    if (!m_prompt)
        return false;
    if (auto *widget = qobject_cast<QWidget *>(receiver))
        return widget->window() == m_prompt;
    if (auto *window = qobject_cast<QWindow *>(receiver))
        return window == m_prompt->windowHandle();
    return false;
}

bool WindowWait::eventFilter(QObject *watched, QEvent *event)
{
    if (m_waiting && isUserInput(event->type()) && !isForPrompt(watched))
        return true;
    return QObject::eventFilter(watched, event);
}

} // namespace orvane::ui
