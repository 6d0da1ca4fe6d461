#pragma once

#include <QCoreApplication>
#include <QEvent>
#include <QObject>

namespace orvane::bench {

// Installed on the application: quits from the first paint of any widget. The paint pass that
// began runs to its end before the queued quit is handled, so the whole window is drawn once.
class FirstPaintQuit : public QObject
{
public:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && !m_seen) {
            m_seen = true;
            QMetaObject::invokeMethod(QCoreApplication::instance(), &QCoreApplication::quit,
                                      Qt::QueuedConnection);
        }
        return QObject::eventFilter(watched, event);
    }

private:
    bool m_seen = false;
};

} // namespace orvane::bench
