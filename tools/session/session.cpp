// tovra-session: one operator session with the real window, without a
// display. It opens a COM port, reads BR1/BR2, writes new values with the
// EEPROM commit, reads them back, and prints what the status field showed at
// each step. For machines without a desktop, and as a smoke test.
//
//   tovra-session [--com N] [--br1 INDEX] [--br2 INDEX] [--screenshot FILE.png]
//   tovra-session [--com N] --find-shot FILE.png
//   tovra-session --startup-shot FILE.png
//
// With --screenshot it saves the window as the screen shows it at the end.
// With --find-shot it only presses Find device (slave ID 7 in the field)
// and saves the window while the search runs. With --startup-shot it saves
// the window as it starts, with the tooltip of BR1 shown.
#include <QApplication>
#include <QComboBox>
#include <QPixmap>
#include <QScreen>
#include <QElapsedTimer>
#include <QSpinBox>
#include <QTest>
#include <QToolTip>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/Tovra_main.h"
#include "app/device_baud.h"
#include "log/log.h"
#include "model/model.h"
#include "platform/ui_qt.h"

namespace {

constexpr int ciStatus = 12;
constexpr int ciComNumber = 15;
constexpr int ciRead = 24;
constexpr int ciWrite = 38;
constexpr int ciBR[2] = {46, 45};
constexpr int ciFind = 60;

std::string Status()
{
    char text[512];
    GetCtrlVal(gvTovra_COMM, ciStatus, text, sizeof text);
    return text;
}

// Lets the event loop (and so the timers) run until the status reads one of
// the given words, or the time is up.
std::string WaitForStatus(std::initializer_list<const char *> words, int ms)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) {
        QTest::qWait(20);
        for (const char *w : words)
            if (Status() == w)
                return w;
    }
    return Status();
}

std::string Baud(int ring)
{
    int i = mf_Tovra_Ring_X__GI(ring);
    return i >= 0 && i < ciBR_dev_count ? std::to_string(caBR_dev[i]) : "?";
}

// Saves the window as the screen shows it, with a tooltip over it when
// `popups`; false when the file cannot be written.
bool SaveShot(const char *file, bool popups = false)
{
    QWidget *win = UiPanelWidget(gvTovra_COMM);
    QTest::qWait(300); // let the window manager and the last paint settle
    const QRect area = win->frameGeometry();
    QPixmap shot = popups ? win->screen()->grabWindow(0, area.x(), area.y(), area.width(), area.height())
                          : win->screen()->grabWindow(win->winId());
    if (shot.isNull() || !shot.save(QString::fromLocal8Bit(file)))
        shot = win->grab(); // platforms without screen access render the window instead
    if (!shot.save(QString::fromLocal8Bit(file))) {
        std::fprintf(stderr, "tovra-session: cannot write %s\n", file);
        return false;
    }
    std::printf("screenshot:   %s\n", file);
    return true;
}

// Presses Find device and saves the window once the search is well under
// way; then lets it finish.
int FindShot(int com, const char *file)
{
    mf_Tovra_TIS32_X__SV(0, com);
    mf_Tovra_TIS32_X__SV(1, 7);
    QTest::mouseClick(UiCtrlWidget(gvTovra_COMM, ciFind), Qt::LeftButton);
    QElapsedTimer t;
    t.start();
    while (Status().find("(20/") == std::string::npos && t.elapsed() < 20000)
        QCoreApplication::processEvents();
    bool saved = SaveShot(file);
    auto over = [] { return Status().rfind("Found", 0) == 0 || Status().rfind("Not found", 0) == 0; };
    while (!over() && t.elapsed() < 30000)
        QCoreApplication::processEvents();
    std::printf("find COM%d:   %s\n", com, Status().c_str());
    mf_APP_Tovra__exit();
    return saved ? 0 : 1;
}

// The window as it starts, before any Read: BR1 and BR2 hold no speed, and
// BR1's tooltip says so.
int StartupShot(const char *file)
{
    QWidget *br1 = UiCtrlWidget(gvTovra_COMM, ciBR[0]);
    const QPoint at(8, br1->height() / 2); // near its left end: the tooltip fits in the window
    QTest::mouseMove(br1, at);
    QToolTip::showText(br1->mapToGlobal(at), br1->toolTip(), br1);
    bool saved = SaveShot(file, true);
    std::printf("start-up:     BR1 = %s, BR2 = %s (%s)\n", Baud(4).c_str(), Baud(5).c_str(),
                br1->toolTip().toUtf8().constData());
    mf_APP_Tovra__exit();
    return saved ? 0 : 1;
}

int ParseIndex(const char *text)
{
    char *end;
    long v = std::strtol(text, &end, 10);
    if (*end || v < 0 || v >= ciBR_dev_count) {
        std::fprintf(stderr, "tovra-session: an index is 0..%d: %s\n", ciBR_dev_count - 1, text);
        std::exit(2);
    }
    return static_cast<int>(v);
}

} // namespace

int main(int argc, char **argv)
{
    int com = 200;
    int wanted[2] = {-1, -1};
    const char *screenshot = nullptr;
    const char *findShot = nullptr;
    const char *startupShot = nullptr;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--com"))
            com = std::atoi(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--br1"))
            wanted[0] = ParseIndex(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--br2"))
            wanted[1] = ParseIndex(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--screenshot"))
            screenshot = argv[i + 1];
        else if (!std::strcmp(argv[i], "--find-shot"))
            findShot = argv[i + 1];
        else if (!std::strcmp(argv[i], "--startup-shot"))
            startupShot = argv[i + 1];
        else {
            std::fprintf(stderr, "usage: tovra-session [--com N] [--br1 INDEX] [--br2 INDEX] "
                                 "[--screenshot FILE.png] | [--com N] --find-shot FILE.png | "
                                 "--startup-shot FILE.png\n");
            return 2;
        }
    }
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    UiInit(&argc, argv);
    if (mf_APP_Tovra__init() != 0)
        return 1;
    if (findShot)
        return FindShot(com, findShot);
    if (startupShot)
        return StartupShot(startupShot);

    auto *comField = qobject_cast<QSpinBox *>(UiCtrlWidget(gvTovra_COMM, ciComNumber));
    comField->setFocus();
    comField->selectAll();
    QTest::keyClicks(comField, QString::number(com));
    QTest::keyClick(comField, Qt::Key_Return);
    std::printf("open COM%d:   %s\n", com, Status().c_str());
    if (mf_Tovra_TGBT_X__GV(0) != 1)
        return 1;

    QTest::mouseClick(UiCtrlWidget(gvTovra_COMM, ciRead), Qt::LeftButton);
    std::string read = WaitForStatus({"OK", "NG"}, 3000);
    std::printf("read:         %s   BR1 = %s, BR2 = %s\n", read.c_str(), Baud(4).c_str(), Baud(5).c_str());
    if (read != "OK")
        return 1;

    for (int i = 0; i < 2; ++i) {
        int item = wanted[i] >= 0 ? wanted[i] : (mf_Tovra_Ring_X__GI(4 + i) + 1) % ciBR_dev_count;
        auto *ring = qobject_cast<QComboBox *>(UiCtrlWidget(gvTovra_COMM, ciBR[i]));
        ring->setCurrentIndex(item);
        emit ring->activated(item);
    }
    std::printf("write:        BR1 = %s, BR2 = %s\n", Baud(4).c_str(), Baud(5).c_str());
    QTest::mouseClick(UiCtrlWidget(gvTovra_COMM, ciWrite), Qt::LeftButton);
    std::string shown;
    std::string written;
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 10000 && written != "OK" && written.find("NG") == std::string::npos) {
        QTest::qWait(10);
        written = Status();
        if (written != shown && !written.empty()) {
            std::printf("  status:     %s\n", written.c_str());
            shown = written;
        }
    }
    if (written != "OK")
        return 1;

    QTest::mouseClick(UiCtrlWidget(gvTovra_COMM, ciRead), Qt::LeftButton);
    read = WaitForStatus({"OK", "NG"}, 3000);
    std::printf("read back:    %s   BR1 = %s, BR2 = %s\n", read.c_str(), Baud(4).c_str(), Baud(5).c_str());
    if (gpLog)
        std::printf("log:          %s\n", caLogFile);
    if (screenshot && !SaveShot(screenshot))
        return 1;
    mf_APP_Tovra__exit();
    return read == "OK" ? 0 : 1;
}
