// Linked with the program's own main into tovra-comm-e2e: once the main
// window is shown, it plays one operator session on the real widgets with
// Qt's test events, as a person at the keyboard would: click the port
// COM<n> in the port list (n is the program's first argument, which the
// program itself ignores), Read, two steps down in the BR1 selector with
// the arrow key, Write, then the grave accent key to end the program.
//
// It knows the window only by its widgets' names. Each step prints what the
// status field showed; a step whose outcome does not come ends the process
// with status 3, so the test sees where the session stopped.
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <cstdio>
#include <unistd.h>

namespace {

constexpr int ciStepMs = 10000;
constexpr int ciBR1Steps = 2; // the device starts at 9600 baud: two steps down is 38400

QWidget *gpWindow = nullptr;

template <typename W>
W *Find(const char *name)
{
    auto *w = gpWindow->findChild<W *>(name);
    if (!w) {
        std::printf("e2e: no widget %s\n", name);
        std::fflush(stdout);
        _exit(3);
    }
    return w;
}

QString Status()
{
    return Find<QLineEdit>("status")->text();
}

void Report(const char *step, bool done)
{
    std::printf("e2e: %s: %s\n", step, qPrintable(Status()));
    std::fflush(stdout);
    if (!done)
        _exit(3);
}

// Presses a button and waits for the status to read `outcome`.
void PressFor(const char *button, const char *outcome)
{
    QTest::mouseClick(Find<QPushButton>(button), Qt::LeftButton);
    Report(button, QTest::qWaitFor([outcome] { return Status() == outcome; }, ciStepMs));
}

void PickPort(const QString &com)
{
    auto *list = Find<QListWidget>("comList");
    const QString suffix = "(" + com + ")";
    QListWidgetItem *item = nullptr;
    for (int i = 0; i < list->count() && !item; ++i)
        if (list->item(i)->text().endsWith(suffix))
            item = list->item(i);
    if (!item) {
        std::printf("e2e: %s is not in the port list (%d items)\n", qPrintable(com), int(list->count()));
        std::fflush(stdout);
        _exit(3);
    }
    list->scrollToItem(item); // as an operator scrolls a long list
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(item).center());
    auto *toggle = Find<QPushButton>("portToggle");
    Report("open", QTest::qWaitFor([toggle] { return toggle->isChecked(); }, ciStepMs));
}

void PlaySession()
{
    const QStringList args = QCoreApplication::arguments();
    PickPort("COM" + (args.size() > 1 ? args[1] : QString()));
    PressFor("readButton", "OK");
    auto *br1 = Find<QComboBox>("br1");
    br1->setFocus();
    for (int i = 0; i < ciBR1Steps; ++i)
        QTest::keyClick(br1, Qt::Key_Down);
    std::printf("e2e: br1: %s\n", qPrintable(br1->currentText()));
    PressFor("writeButton", "OK");
    QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : gpWindow, '`');
}

// Starts the session once, when the first window bound to the program's
// panel handler is shown.
class SessionStarter : public QObject {
public:
    bool eventFilter(QObject *obj, QEvent *ev) override
    {
        auto *w = qobject_cast<QWidget *>(obj);
        if (ev->type() == QEvent::Show && w && w->isWindow() && w->property("callback").isValid() &&
            !gpWindow) {
            gpWindow = w;
            QTimer::singleShot(0, PlaySession);
        }
        return false;
    }
};

void InstallSessionStarter()
{
    QCoreApplication::instance()->installEventFilter(new SessionStarter);
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(InstallSessionStarter)
