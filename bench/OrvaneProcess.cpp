#include "OrvaneProcess.h"

#include "app/DefaultComponents.h"

#include <QApplication>
#include <QSessionManager>

namespace orvane::bench {

namespace {

// Must run before the members are built, as in main(): the settings store reads the names.
void describeApplication()
{
    QApplication::setApplicationName(QStringLiteral("orvane"));
    QApplication::setApplicationVersion(QStringLiteral("1.0.0.1"));
    QApplication::setOrganizationName(QStringLiteral("Quarrow"));
    QApplication::setDesktopFileName(QStringLiteral("orvane"));
    QApplication::setWindowIcon(ui::MainWindow::programIcon());
}

} // namespace

OrvaneProcess::OrvaneProcess(QApplication &app)
    : m_terminationSignals((describeApplication(), nullptr))
    , m_window(app::defaultComponents(), m_store)
{
    ui::MainWindow *window = &m_window;
    QObject::connect(&m_terminationSignals, &app::TerminationSignals::terminationRequested, window,
                     &ui::MainWindow::closeForSessionEnd);
    QObject::connect(&app, &QGuiApplication::commitDataRequest, window,
                     [window](QSessionManager &) { window->closeForSessionEnd(); });
    m_window.load();
    m_window.show();
}

OrvaneProcess::~OrvaneProcess()
{
    m_window.unload(settings::SaveReport::StandardError);
}

} // namespace orvane::bench
