// Termination signals delivered as close-box closes.
//
// The signal handler only writes one byte into a pipe (all it may safely do);
// a socket notifier on the other end does the closing on the event loop.
#include "platform/signals.h"

#ifndef _WIN32

#include <QApplication>
#include <QSocketNotifier>
#include <QTimer>
#include <QWidget>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr int caTermSignals[] = {SIGTERM, SIGINT, SIGHUP};
// While a message box is open the window ignores its close; try again.
constexpr int ciRetryMs = 100;

int gaSignalPipe[2] = {-1, -1};

void OnSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] ssize_t n = write(gaSignalPipe[1], &byte, 1);
}

// Closes a modal message box first (its loop holds back the window's close),
// then every visible window; repeats while one stays open.
void CloseWindows()
{
    if (QWidget *modal = QApplication::activeModalWidget())
        modal->close();
    bool open = false;
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (!w->isVisible())
            continue;
        w->close();
        open = open || w->isVisible();
    }
    if (open)
        QTimer::singleShot(ciRetryMs, CloseWindows);
}

void OnSignalByte()
{
    char bytes[16];
    while (read(gaSignalPipe[0], bytes, sizeof bytes) > 0) {
    }
    CloseWindows();
}

} // namespace

int CloseOnTerminationSignal(void)
{
    if (!QCoreApplication::instance())
        return -1;
    if (gaSignalPipe[0] < 0) {
        if (pipe2(gaSignalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
            return -1;
        auto *notifier = new QSocketNotifier(gaSignalPipe[0], QSocketNotifier::Read, qApp);
        QObject::connect(notifier, &QSocketNotifier::activated, OnSignalByte);
    }
    struct sigaction sa = {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART | SA_RESETHAND;
    for (int signo : caTermSignals)
        sigaction(signo, &sa, nullptr);
    return 0;
}

#else

// Windows ends a windowed program through its close box only.
int CloseOnTerminationSignal(void)
{
    return 0;
}

#endif
