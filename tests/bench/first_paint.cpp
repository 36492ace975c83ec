// Linked into the start-up harnesses: ends the process as soon as its first
// window has been painted, so that spawn-to-exit is exec-to-painted. The
// filter is installed when the application object is made, with no help
// from the program under test.
#include <QCoreApplication>
#include <QEvent>
#include <QTimer>
#include <QWidget>

#include <unistd.h>

namespace {

class FirstPaint : public QObject {
public:
    bool eventFilter(QObject *obj, QEvent *ev) override
    {
        auto *w = qobject_cast<QWidget *>(obj);
        if (ev->type() == QEvent::Paint && w && w->isWindow() && !armed_) {
            armed_ = true;
            // The window's children are painted in the same pass; end after it.
            QTimer::singleShot(0, [] { _exit(0); });
        }
        return false;
    }

private:
    bool armed_ = false;
};

void InstallFirstPaint()
{
    QCoreApplication::instance()->installEventFilter(new FirstPaint);
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(InstallFirstPaint)
