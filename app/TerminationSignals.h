#pragma once

#include <QObject>

class QSocketNotifier;

namespace orvane::ui {
class MainWindow;
}

namespace orvane::app {

class TerminationSignals;

// Signals from the network never end the program: a write to a connection that the server has
// closed fails with EPIPE, which every layer reports as a failure, instead of raising SIGPIPE.
// Call it first in main, before any thread starts.
void ignoreBrokenPipes();

// Ends the program at once with status 0, abandoning whatever a worker thread is waiting for:
// standard output and error are flushed, no destructor runs. For a close during a wait on the
// network, once the settings are saved.
[[noreturn]] void endAbandoningWaits();

// Turns SIGTERM, SIGINT and SIGHUP (how a log-off or shut-down reaches a program on Linux)
// into a Qt signal delivered on the user-interface thread, so the window closes as a close
// does and the settings are saved. Does nothing where there are no such signals.
class TerminationSignals : public QObject
{
    Q_OBJECT

public:
    explicit TerminationSignals(QObject *parent = nullptr);
    ~TerminationSignals() override;

    TerminationSignals(const TerminationSignals &) = delete;
    TerminationSignals &operator=(const TerminationSignals &) = delete;

signals:
    void terminationRequested(int signalNumber);

private:
    void drain();

    QSocketNotifier *m_notifier = nullptr;
};

// Wires the window to the ends of a session: a termination signal closes it as a log-off does,
// and a close during a wait on the network saves the five boxes and ends the program at once,
// whatever the server does.
void endWithSession(ui::MainWindow &window, const TerminationSignals &termination);

} // namespace orvane::app
