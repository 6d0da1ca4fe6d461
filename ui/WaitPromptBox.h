#pragma once

#include "form/NetworkWait.h"

#include <QDialog>

namespace orvane::ui {

// The box a sign-in shows while it waits for the user: what to do, the address to open and the
// code to type there, each as text to select with a button that copies it, and Cancel. It
// takes input while the window around it takes none; Cancel, Escape and its close box all
// cancel, and it stays until the wait is over.
class WaitPromptBox : public QDialog
{
    Q_OBJECT

public:
    WaitPromptBox(const form::WaitPrompt &prompt, QWidget *parent);

    // As the Cancel button does.
    void cancel();
    // The wait is over: the box may go.
    void finish();

signals:
    void cancelRequested();

protected:
    void reject() override;
    void closeEvent(QCloseEvent *event) override;

private:
    bool m_finished = false;
};

} // namespace orvane::ui
