#include "ActionDriver.h"

#include "ui/MainWindow.h"

#include <QAbstractButton>
#include <QAbstractItemModel>
#include <QAbstractItemView>
#include <QApplication>
#include <QEventLoop>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

namespace orvane::bench {

namespace {

template<typename T>
T *find(const ui::MainWindow &window, const char *name)
{
    T *widget = window.findChild<T *>(QString::fromLatin1(name));
    if (!widget)
        qFatal("the window has no control %s of the expected kind", name);
    return widget;
}

} // namespace

ActionDriver::ActionDriver(ui::MainWindow &window)
    : m_window(window)
{}

void ActionDriver::type(const char *control, const QString &text)
{
    if (auto *body = m_window.findChild<QPlainTextEdit *>(QString::fromLatin1(control))) {
        body->setPlainText(text);
        return;
    }
    find<QLineEdit>(m_window, control)->setText(text);
}

void ActionDriver::tick(const char *control)
{
    auto *box = find<QAbstractButton>(m_window, control);
    if (!box->isChecked())
        box->click();
}

QString ActionDriver::caption(const char *control) const
{
    return find<QLabel>(m_window, control)->text();
}

int ActionDriver::listCount(const char *control) const
{
    return find<QAbstractItemView>(m_window, control)->model()->rowCount();
}

bool ActionDriver::busy() const
{
    const QCursor *cursor = QApplication::overrideCursor();
    const auto waiting = [](Qt::CursorShape shape) {
        return shape == Qt::WaitCursor || shape == Qt::BusyCursor;
    };
    return (cursor && waiting(cursor->shape())) || waiting(m_window.cursor().shape());
}

ActionDriver::Outcome ActionDriver::click(const char *button, const std::function<bool()> &done,
                                          int timeoutMs)
{
    Outcome outcome;
    QElapsedTimer clock;
    QEventLoop loop;
    bool finished = false;
    const auto finish = [&](bool ok, const QString &failure) {
        if (finished)
            return;
        finished = true;
        outcome.ok = ok;
        outcome.failure = failure;
        outcome.seconds = double(clock.nsecsElapsed()) / 1e9;
        loop.quit();
    };

    // The first line of the result list, whichever way the handler fills it.
    auto *list = m_window.findChild<QAbstractItemView *>(QStringLiteral("lstEmail"));
    QMetaObject::Connection firstRow;
    if (list)
        firstRow = QObject::connect(list->model(), &QAbstractItemModel::rowsInserted, list, [&] {
            if (outcome.firstRowSeconds < 0)
                outcome.firstRowSeconds = double(clock.nsecsElapsed()) / 1e9;
        });

    const auto look = [&] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            const QString text = box->text();
            box->close();
            finish(false, text);
        } else if (!busy() && done()) {
            finish(true, QString());
        } else if (clock.elapsed() > timeoutMs) {
            finish(false, QStringLiteral("no result within %1 ms").arg(timeoutMs));
        }
    };
    QTimer poll;
    poll.setInterval(2);
    QObject::connect(&poll, &QTimer::timeout, &loop, look);

    QPushButton *target = find<QPushButton>(m_window, button);
    QTimer::singleShot(0, target, [&, target] {
        clock.start();
        poll.start();
        target->click();
        // A handler that keeps the event loop turning inside the click is done when the click
        // returns: look at once, so the figure does not carry up to one poll interval more.
        if (!finished)
            look();
    });
    loop.exec();
    poll.stop();
    QObject::disconnect(firstRow);
    return outcome;
}

} // namespace orvane::bench
