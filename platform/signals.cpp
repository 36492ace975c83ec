// Termination signals delivered as close-box closes.
#include "platform/signals.h"

#ifndef _WIN32

#include <QApplication>
#include <QTimer>
#include <QWidget>

namespace {

// While a message box is open the window ignores its close; try again.
constexpr int ciRetryMs = 100;

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

} // namespace

int CloseOnTerminationSignal(void)
{
    return OnTerminationSignal(CloseWindows);
}

#else

// Windows ends a windowed program through its close box only.
int CloseOnTerminationSignal(void)
{
    return 0;
}

#endif
