#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QEvent>
#include <QMessageBox>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <utility>
#include <vector>

namespace orvane::test {

// Steps that run one after the other while a handler waits: each waits for its condition and
// then acts. A timer drives them, so they run only if the window's wait loop keeps turning.
// Every message box that opens meanwhile is closed and its text kept.
class Steps
{
public:
    Steps()
    {
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                boxes << box->text();
                box->button(QMessageBox::Ok)->click();
            }
            if (m_done < m_steps.size() && m_steps[m_done].first()) {
                m_steps[m_done].second();
                ++m_done;
            }
        });
        m_timer.start(10);
    }
    void then(std::function<bool()> ready, std::function<void()> act)
    {
        m_steps.emplace_back(std::move(ready), std::move(act));
    }
    std::size_t done() const { return m_done; }

    QStringList boxes;

private:
    QTimer m_timer;
    std::vector<std::pair<std::function<bool()>, std::function<void()>>> m_steps;
    std::size_t m_done = 0;
};

// Calls back on every paint event of one widget.
class PaintWatch : public QObject
{
public:
    PaintWatch(QWidget *target, std::function<void()> onPaint)
        : m_onPaint(std::move(onPaint))
    {
        target->installEventFilter(this);
    }
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            m_onPaint();
        return false;
    }

private:
    std::function<void()> m_onPaint;
};

} // namespace orvane::test
