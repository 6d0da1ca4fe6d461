#pragma once

#include "app/TerminationSignals.h"
#include "settings/QSettingsStore.h"
#include "ui/MainWindow.h"

class QApplication;

namespace orvane::bench {

// What the program's main() builds, in the same order: the application's names and icon, the
// signal handler, the settings store and the window with the default components, loaded and
// shown. Destroying it unloads the window as the program does when its event loop ends.
class OrvaneProcess
{
public:
    explicit OrvaneProcess(QApplication &app);
    ~OrvaneProcess();

    ui::MainWindow &window() { return m_window; }

private:
    app::TerminationSignals m_terminationSignals;
    settings::QSettingsStore m_store;
    ui::MainWindow m_window;
};

} // namespace orvane::bench
