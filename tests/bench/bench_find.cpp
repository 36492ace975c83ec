// Find device through the real window against the device simulator: press
// to the result in the status field, with the progress bar watched all the
// way. Prints figures; it exits non-zero only
// when it cannot set up.
#include <QAbstractButton>
#include <QApplication>
#include <QProgressBar>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "app/Tovra_main.h"
#include "bench.h"
#include "devsim.h"
#include "model/model.h"
#include "platform/ui.h"
#include "platform/ui_qt.h"

namespace fs = std::filesystem;

namespace {

constexpr int ciStatus = 12;
constexpr int ciFind = 60;
constexpr int ciProgress = 62;
constexpr int ciTimeoutMs = 30000;

struct Search {
    double ms;           // press to result
    std::string result;  // the status then
    int moves;           // times the progress bar moved
    double longestStill; // longest time the bar stood still, ms
};

std::string Status()
{
    char text[256] = "";
    GetCtrlVal(gvTovra_COMM, ciStatus, text, sizeof text);
    return text;
}

int AnswerNo(const char *, const char *)
{
    return 0;
}

// Presses Find device and runs the event loop one pass at a time, as the
// window does, until the status shows the result.
Search FindDevice()
{
    auto *bar = static_cast<QProgressBar *>(UiCtrlWidget(gvTovra_COMM, ciProgress));
    Search s = {0, "", 0, 0};
    auto start = BenchClock::now();
    auto moved = start;
    int shown = -1;
    mf_Tovra_STR_X__SV_str(0, "");
    static_cast<QAbstractButton *>(UiCtrlWidget(gvTovra_COMM, ciFind))->click();
    for (;;) {
        QCoreApplication::processEvents();
        auto now = BenchClock::now();
        if (bar->isVisible() && bar->value() != shown) {
            s.longestStill = std::max(s.longestStill, Ms(now - moved));
            moved = now;
            shown = bar->value();
            ++s.moves;
        }
        s.result = Status();
        if (s.result.rfind("Found", 0) == 0 || s.result.rfind("Not found", 0) == 0 ||
            Ms(now - start) > ciTimeoutMs) {
            s.ms = Ms(now - start);
            return s;
        }
    }
}

void Report(const char *what, const std::vector<Search> &runs, const char *target, bool bar)
{
    std::vector<double> ms;
    int moves = 0;
    double still = 0;
    for (const Search &s : runs) {
        ms.push_back(s.ms);
        moves = std::max(moves, s.moves);
        still = std::max(still, s.longestStill);
    }
    std::sort(ms.begin(), ms.end());
    std::printf("  %s, %zu runs: median %.0f ms, max %.0f ms (target: %s); result \"%s\"\n", what,
                runs.size(), Median(ms), ms.back(), target, runs.back().result.c_str());
    if (bar)
        std::printf("    progress bar: moved up to %d times a search, stood still at most %.0f ms\n",
                    moves, still);
}

} // namespace

int main(int argc, char **argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("TOVRA_DEVSIM", TOVRA_DEVSIM_PATH, 0);
    UiInit(&argc, argv);
    std::string work = EnterScratch("tovra-find");
    if (work.empty())
        return kCannotSetUp;
    if (mf_Tovra_Form_COMM__init() < 0) {
        std::printf("cannot set up: %s\n", UiLastErrorDetail());
        return kCannotSetUp;
    }
    DisplayPanel(gvTovra_COMM);
    SetConfirmPopupHook(AnswerNo); // no slave-ID sweep
    std::printf("Find device through the window against the simulator, press to result:\n");
    {
        // The panel starts at 9600 8N1, slave ID 1: the device is there.
        DevSim sim({"--com", "240", "--line", "9600"});
        if (!sim.ready()) {
            std::printf("cannot set up: the simulator did not start\n%s", sim.output().c_str());
            return kCannotSetUp;
        }
        mf_Tovra_TIS32_X__SV(0, sim.com());
        std::vector<Search> runs;
        for (int i = 0; i < 10; ++i)
            runs.push_back(FindDevice());
        Report("device at the panel's current settings", runs, "under 300 ms", false);
    }
    {
        // At 600 baud, which no selector stores, nothing is heard: all 48
        // settings, with slave ID 1 alone and then with IDs 7 and 1.
        DevSim sim({"--com", "241", "--line", "600"});
        if (!sim.ready()) {
            std::printf("cannot set up: the simulator did not start\n%s", sim.output().c_str());
            return kCannotSetUp;
        }
        mf_Tovra_TIS32_X__SV(0, sim.com());
        std::vector<Search> runs;
        for (int i = 0; i < 3; ++i)
            runs.push_back(FindDevice());
        Report("nothing answers: 48 settings (8 speeds) x slave ID 1", runs, "under 8 s", true);
        mf_Tovra_TIS32_X__SV(1, 7);
        runs.clear();
        runs.push_back(FindDevice());
        Report("nothing answers: 48 settings x slave IDs 7 and 1", runs, "none", true);
    }
    DiscardPanel(gvTovra_COMM);
    fs::current_path(fs::temp_directory_path());
    std::error_code ec;
    fs::remove_all(work, ec);
    return 0;
}
