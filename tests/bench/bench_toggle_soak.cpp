// Memory while the operator works: the port toggled on and off through the
// real main panel against the device simulator, the status field and the
// toggle changing colour each time. Prints the program's resident memory
// after 1,000 toggles and at the end, and what each toggle after the first
// 1,000 added. A short soak by default; --full toggles 8,000 times, the
// soak the target is stated for (the end within 2 MiB of the 1,000 mark).
// It exits non-zero only when it cannot set up.
#include <QApplication>
#include <QSpinBox>
#include <QTest>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "app/Tovra_main.h"
#include "bench.h"
#include "devsim.h"
#include "model/model.h"
#include "platform/ui.h"
#include "platform/ui_qt.h"
#include "panel_ids.h"

namespace fs = std::filesystem;

namespace {

constexpr int kMark = 1000;
constexpr int kShort = 2000;
constexpr int kFull = 8000;

// Resident memory of this process, from the kernel's own count.
double RssMiB()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::atof(line.c_str() + 6) / 1024.0;
    return 0.0;
}

std::string Status()
{
    char text[256] = "";
    GetCtrlVal(gvTovra_COMM, kStatus, text, sizeof text);
    return text;
}

} // namespace

int main(int argc, char **argv)
{
    const int toggles = argc > 1 && std::strcmp(argv[1], "--full") == 0 ? kFull : kShort;
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("TOVRA_DEVSIM", TOVRA_DEVSIM_PATH, 0);
    UiInit(&argc, argv);
    std::string work = EnterScratch("tovra-soak");
    if (work.empty())
        return kCannotSetUp;
    int result = 0;
    {
        DevSim sim({"--state", work + "/devsim-state.txt"});
        if (!sim.ready()) {
            std::printf("cannot set up: the simulator did not start\n%s", sim.output().c_str());
            return kCannotSetUp;
        }
        if (mf_Tovra_Form_COMM__init() < 0) {
            std::printf("cannot set up: %s\n", UiLastErrorDetail());
            return kCannotSetUp;
        }
        DisplayPanel(gvTovra_COMM);
        auto *com = static_cast<QSpinBox *>(UiCtrlWidget(gvTovra_COMM, kComField));
        com->setFocus();
        com->selectAll();
        QTest::keyClicks(com, QString::number(sim.com()));
        QTest::keyClick(com, Qt::Key_Return);

        QWidget *toggle = UiCtrlWidget(gvTovra_COMM, kToggle);
        double atMark = 0.0;
        int failed = 0;
        auto start = BenchClock::now();
        for (int i = 1; i <= toggles; ++i) {
            QTest::mouseClick(toggle, Qt::LeftButton);
            QCoreApplication::processEvents(); // the repaints an operator's screen would get
            failed += Status().find("NG") != std::string::npos;
            if (i == kMark)
                atMark = RssMiB();
        }
        double atEnd = RssMiB();
        double seconds = Ms(BenchClock::now() - start) / 1000.0;
        DiscardPanel(gvTovra_COMM);

        std::printf("Port toggles through the panel against the simulator, %d toggles in %.1f s (%d failed to open):\n",
                    toggles, seconds, failed);
        std::printf("  RSS after %d: %.2f MiB, after %d: %.2f MiB; %+.3f KiB per toggle after the first %d\n", kMark,
                    atMark, toggles, atEnd, (atEnd - atMark) * 1024.0 / (toggles - kMark), kMark);
        std::printf("  (target: after %d toggles within 2 MiB of the %d mark; %s for the full soak)\n", kFull, kMark,
                    toggles == kFull ? "this is it" : "--full");
        if (failed)
            result = kCannotSetUp;
    }
    fs::current_path(fs::temp_directory_path());
    std::error_code ec;
    fs::remove_all(work, ec);
    return result;
}
