#pragma once

#include <QObject>

class QSocketNotifier;

namespace orvane::app {

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

} // namespace orvane::app
