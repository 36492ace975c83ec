// Termination signals turned into a call from the event loop. The signal
// handler only writes one byte into a pipe (all it may safely do); a socket
// notifier on the other end runs the action on the event loop.
#include "platform/signals.h"

#ifndef _WIN32

#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr int caTermSignals[] = {SIGTERM, SIGINT, SIGHUP};

int gaSignalPipe[2] = {-1, -1};
SignalActionPtr gpAction = nullptr;

void OnSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] ssize_t n = write(gaSignalPipe[1], &byte, 1);
}

void OnSignalByte()
{
    char bytes[16];
    while (read(gaSignalPipe[0], bytes, sizeof bytes) > 0) {
    }
    if (gpAction)
        gpAction();
}

} // namespace

int OnTerminationSignal(SignalActionPtr action)
{
    if (!QCoreApplication::instance())
        return -1;
    gpAction = action;
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

// Windows ends a program through its close box or Ctrl+C's own handling.
int OnTerminationSignal(SignalActionPtr)
{
    return 0;
}

#endif
