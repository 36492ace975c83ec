// The user-interface services for a program without a window (tovra-cli):
// a message box becomes a line on standard error, Delay sleeps, a deferred
// call waits in the application's event queue, the event loop is the
// application's. Only what the panel-free
// modules (log, modbus, the port search, the serial layer) call is here.
#include "platform/ui.h"

#include <QCoreApplication>
#include <QThread>

#include <cstdio>

void UiInit(int *argc, char **argv)
{
    if (QCoreApplication::instance())
        return;
    // Lives until the process ends, like the window's application object.
    new QCoreApplication(*argc, argv);
}

int MessagePopup(const char *title, const char *message)
{
    if (title && *title)
        std::fprintf(stderr, "%s: %s\n", title, message ? message : "");
    else
        std::fprintf(stderr, "%s\n", message ? message : "");
    return 0;
}

void Delay(double seconds)
{
    if (seconds > 0.0)
        QThread::usleep(static_cast<unsigned long>(seconds * 1e6));
}

int RunUserInterface(void)
{
    return QCoreApplication::instance() ? QCoreApplication::exec() : UIE_NOT_INITIALIZED;
}

int QuitUserInterface(int code)
{
    QCoreApplication::exit(code);
    return 0;
}

int PostDeferredCall(DeferredCallbackPtr fn, void *data)
{
    if (!fn || !QCoreApplication::instance())
        return UIE_NOT_INITIALIZED;
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [fn, data] { fn(data); }, Qt::QueuedConnection);
    return 0;
}
