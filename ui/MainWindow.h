#pragma once

#include "settings/SettingsHandlers.h"
#include "ui/ComponentFactory.h"
#include "ui/WidgetFields.h"

#include <QIcon>
#include <QWidget>

#include <array>
#include <functional>
#include <memory>

namespace orvane::settings {
class SettingsStore;
}

namespace orvane::ui {

class MaskStyle;
class WindowWait;

// The program's one window, Form1: its controls in their start state at fixed positions, and
// the event table that connects them to the handlers.
class MainWindow : public QWidget
{
    Q_OBJECT

public:
    MainWindow(ComponentFactory factory, settings::SettingsStore &store, QWidget *parent = nullptr);
    ~MainWindow() override;

    // The envelope in both sizes it is drawn in, so a small icon is the 16-pixel drawing and
    // not the 32-pixel one scaled down.
    static QIcon programIcon();

    form::FormFields &fields() { return *m_fields; }
    QWidget *control(form::Control control) const;

    // Form_Load: fills the remembered boxes. Call once, before the window is first shown.
    void load();

    // Closes the window because the session ends (a signal, a log-off). Any box still open is
    // closed first, and a failure to save goes to standard error, so nothing holds up the end.
    // During a wait on the network it goes as a click on the close box does (below).
    void closeForSessionEnd();

    // What a close during a wait on the network does once the five boxes are saved: the
    // program ends it, abandoning the wait (a server that never answers must not hold the
    // program, and a send abandoned before its last byte delivers nothing). Without it, or
    // where it returns, the close is held until the handler has ended.
    void setEndDuringWait(std::function<void()> end) { m_endDuringWait = std::move(end); }

    // Form_Unload, at most once per window, whichever way the window goes.
    void unload(settings::SaveReport report);
    bool isUnloaded() const { return m_unloaded; }

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void createControls();
    void connectEvents();
    bool run(const char *handler, const std::function<void()> &body);
    void sendWithTrap();
    void carryOutHeldClose();

    ComponentFactory m_factory;
    std::function<void()> m_endDuringWait;
    settings::SettingsStore &m_store;
    MaskStyle *m_maskStyle;
    std::array<QWidget *, form::controlCount> m_controls{};
    std::unique_ptr<WidgetFields> m_fields;
    WindowWait *m_wait = nullptr;
    int m_handlersRunning = 0;
    bool m_closeHeld = false;
    settings::SaveReport m_saveReport = settings::SaveReport::MessageBox;
    bool m_unloaded = false;
};

} // namespace orvane::ui
