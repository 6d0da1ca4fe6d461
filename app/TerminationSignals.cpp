#include "TerminationSignals.h"

#include "ui/MainWindow.h"

#include <QSocketNotifier>

#include <cstdio>
#include <cstdlib>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace orvane::app {

void endAbandoningWaits()
{
    std::fflush(nullptr);
    std::_Exit(0);
}

void endWithSession(ui::MainWindow &window, const TerminationSignals &termination)
{
    window.setEndDuringWait(endAbandoningWaits);
    QObject::connect(&termination, &TerminationSignals::terminationRequested, &window,
                     &ui::MainWindow::closeForSessionEnd);
}

#ifdef Q_OS_UNIX

void ignoreBrokenPipes()
{
    struct sigaction action = {};
    action.sa_handler = SIG_IGN;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGPIPE, &action, nullptr);
}

namespace {

// The self-pipe: the handler may only write a byte; the event loop reads it.
int g_pipe[2] = {-1, -1};
constexpr int handledSignals[] = {SIGTERM, SIGINT, SIGHUP};

extern "C" void onTerminationSignal(int signalNumber)
{
    const int savedErrno = errno;
    const char byte = static_cast<char>(signalNumber);
    [[maybe_unused]] const auto written = ::write(g_pipe[0], &byte, 1);
    errno = savedErrno;
}

} // namespace

TerminationSignals::TerminationSignals(QObject *parent)
    : QObject(parent)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_pipe) != 0)
        return;
    for (int fd : g_pipe)
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);

    m_notifier = new QSocketNotifier(g_pipe[1], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &TerminationSignals::drain);

    struct sigaction action = {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signalNumber : handledSignals)
        ::sigaction(signalNumber, &action, nullptr);
}

TerminationSignals::~TerminationSignals()
{
    struct sigaction action = {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    for (int signalNumber : handledSignals)
        ::sigaction(signalNumber, &action, nullptr);
    for (int &fd : g_pipe) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
}

void TerminationSignals::drain()
{
    char bytes[16];
    int last = 0;
    ssize_t count = 0;
    while ((count = ::read(g_pipe[1], bytes, sizeof bytes)) > 0)
        last = static_cast<unsigned char>(bytes[count - 1]);
    if (last != 0)
        emit terminationRequested(last);
}

#else

void ignoreBrokenPipes() {}

TerminationSignals::TerminationSignals(QObject *parent)
    : QObject(parent)
{}

TerminationSignals::~TerminationSignals() = default;

void TerminationSignals::drain() {}

#endif

} // namespace orvane::app
