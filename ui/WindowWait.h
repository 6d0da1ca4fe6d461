#pragma once

#include "form/NetworkWait.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <atomic>
#include <optional>

class QLabel;
class QTimer;

namespace orvane::ui {

class WaitPromptBox;

// The window's way of waiting on the network. The work runs on a worker thread while this
// thread only paints. Until the work is done the busy cursor shows and user input of every
// kind is dropped, not queued: a second click on Send sends nothing, and no handler starts
// while another one waits. An upload of more than 1 MB shows how far it is in the status
// label, which gets back its own text when the wait ends.
class WindowWait : public QObject, public form::NetworkWait
{
    Q_OBJECT

public:
    explicit WindowWait(QLabel *status, QObject *parent = nullptr);
    ~WindowWait() override;

    void run(const std::function<void()> &work) override;
    // The work on a worker thread, meanwhile on this one; then this thread only paints.
    void runAlongside(const std::function<void()> &work,
                      const std::function<void()> &meanwhile) override;
    // The prompt box takes input (Cancel, the code to copy) while the window takes none.
    void runPrompted(const form::WaitPrompt &prompt,
                     const std::function<void(const std::atomic<bool> &cancelled)> &work) override;
    void uploaded(qint64 sent, qint64 total) override;

    bool isWaiting() const { return m_waiting; }
    // Cancels the prompt of a prompted wait, as its Cancel button does; nothing without one.
    void cancelPrompt();

    // "Sending... 12.5 of 48.0 MB"
    static QString progressText(qint64 sent, qint64 total);

signals:
    // A wait begins: what the handler has written so far is about to be painted.
    void starting();
    // A wait has ended; emitted just before run() returns.
    void finished();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    class Scope;

    void showProgress();
    void restoreStatus();
    bool isForPrompt(QObject *receiver) const;

    QPointer<QLabel> m_status;
    QTimer *m_progressTimer;
    bool m_waiting = false;
    std::atomic<qint64> m_sent{0};
    std::atomic<qint64> m_total{0};
    std::optional<QString> m_statusBefore;
    QPointer<WaitPromptBox> m_prompt; // the box of a prompted wait, which alone takes input
};

} // namespace orvane::ui
