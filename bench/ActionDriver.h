#pragma once

#include <QElapsedTimer>
#include <QString>

#include <functional>

namespace orvane::ui {
class MainWindow;
}

namespace orvane::bench {

// Works the window as a user would: types into its boxes by control name and presses a
// button, then waits until the action is over, whether the handler runs to its end inside the
// click or keeps the event loop turning while the network works.
class ActionDriver
{
public:
    struct Outcome
    {
        bool ok = false;
        QString failure;             // the message box's text, or why the wait ended
        double seconds = 0;          // from the click to the end of the action
        double firstRowSeconds = -1; // from the click to the first line in lstEmail
    };

    explicit ActionDriver(ui::MainWindow &window);

    void type(const char *control, const QString &text);
    // Ticks a check box by clicking it, as a user would, unless it is ticked already: the
    // click is what shows the boxes that belong to it.
    void tick(const char *control);

    // Presses the button and returns once done() holds while the window is not busy, or a
    // message box shows (closed, and reported as a failure), or the time-out passes.
    Outcome click(const char *button, const std::function<bool()> &done, int timeoutMs);

    QString caption(const char *control) const;
    int listCount(const char *control) const;

private:
    bool busy() const;

    ui::MainWindow &m_window;
};

} // namespace orvane::bench
