#include "app/DefaultComponents.h"
#include "app/QtTranslations.h"
#include "app/TerminationSignals.h"
#include "settings/QSettingsStore.h"
#include "ui/MainWindow.h"

#include <QApplication>
#include <QSessionManager>

int main(int argc, char *argv[])
{
    orvane::app::ignoreBrokenPipes();

    // The program reads no command line, and Qt's own options (-platform, -style, -reverse,
    // -stylesheet, -qwindowgeometry...) are no exception: only the program's name is passed on,
    // so every start looks the same. Both arrays live as long as the application.
    char fallbackName[] = "orvane";
    char *programOnly[] = {argc > 0 && argv[0] ? argv[0] : fallbackName, nullptr};
    int programOnlyCount = 1;
    QApplication app(programOnlyCount, programOnly);
    QApplication::setApplicationName(QStringLiteral("orvane"));
    QApplication::setApplicationVersion(QStringLiteral("1.0.0.1"));
    QApplication::setOrganizationName(QStringLiteral("Quarrow"));
    QApplication::setDesktopFileName(QStringLiteral("orvane"));
    QApplication::setWindowIcon(orvane::ui::MainWindow::programIcon());
    QTranslator qtTranslator;
    if (orvane::app::loadQtTranslations(qtTranslator, QLocale::system()))
        QApplication::installTranslator(&qtTranslator);

    // Before the window exists, so a signal that comes early is not lost: it is read once the
    // event loop runs, and closes the window then.
    orvane::app::TerminationSignals terminationSignals;

    orvane::settings::QSettingsStore store;
    orvane::ui::MainWindow window(orvane::app::defaultComponents(), store);
    orvane::app::endWithSession(window, terminationSignals);
    // The desktop session is ending: the window closes as on a log-off.
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &window,
                     [&window](QSessionManager &) { window.closeForSessionEnd(); });

    window.load();
    window.show();
    const int status = QApplication::exec();

    // Whatever ended the event loop, the five boxes are written once.
    window.unload(orvane::settings::SaveReport::StandardError);
    return status;
}
