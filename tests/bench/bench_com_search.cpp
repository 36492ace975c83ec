// Times a whole port search, as the search button runs it: 8 port-map links
// to pseudo-terminals (with TOVRA_PORTS_ONLY=1, as CTest and scripts/test.sh
// run it, this machine's own ports are neither listed nor opened), all six
// files written, every candidate probed. Prints figures; it
// exits non-zero only when it cannot set up.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include "app/Tovra_main.h"
#include "bench.h"
#include "model/model.h"
#include "platform/devices.h"
#include "platform/ui.h"
#include "serial/ComList.h"

namespace fs = std::filesystem;

namespace {

constexpr int kLinks = 8;
constexpr int kFirstCom = 231;
constexpr int kRuns = 30;

template <class F>
std::vector<double> Time(F work)
{
    std::vector<double> ms;
    for (int i = 0; i < kRuns; ++i) {
        auto start = BenchClock::now();
        work();
        ms.push_back(Ms(BenchClock::now() - start));
    }
    std::sort(ms.begin(), ms.end());
    return ms;
}

void Print(const char *what, const std::vector<double> &ms)
{
    std::printf("%s, %d times:\n  median %.2f ms, min %.2f ms, 90%% %.2f ms, max %.2f ms\n", what, kRuns,
                Median(ms), ms.front(), ms[kRuns * 9 / 10], ms.back());
}

int Lines(const char *file)
{
    int n = 0;
    if (FILE *f = std::fopen(file, "r")) {
        for (int c; (c = std::fgetc(f)) != EOF;)
            n += c == '\n';
        std::fclose(f);
    }
    return n;
}

} // namespace

int main(int argc, char **argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    UiInit(&argc, argv);
    std::string work = EnterScratch("tovra-bench");
    if (work.empty())
        return kCannotSetUp;
    fs::create_directory(work + "/ports");
    setenv("TOVRA_PORTS_DIR", (work + "/ports").c_str(), 1);
    std::vector<int> masters;
    for (int i = 0; i < kLinks; ++i) {
        int m = posix_openpt(O_RDWR | O_NOCTTY);
        if (m < 0 || grantpt(m) != 0 || unlockpt(m) != 0) {
            std::printf("cannot set up: no pseudo-terminal\n");
            return kCannotSetUp;
        }
        masters.push_back(m);
        fs::create_symlink(ptsname(m), work + "/ports/COM" + std::to_string(kFirstCom + i));
    }
    if (mf_Tovra_Form_COMM__init() != 0) { // loads the panel and searches once
        std::printf("cannot set up: the panel did not load: %s\n", UiLastErrorDetail());
        return kCannotSetUp;
    }

    Print("device list alone (the port map; without TOVRA_PORTS_ONLY also Qt's ports and USB products)",
          Time([] { DumpPresentDevices(caDevMng_All_DEV); }));
    Print("whole search (device list, six files, probe of each candidate)",
          Time([] { mf_Tovra_ComList__Search_WIN32API_Prolific(); }));
    int listed = 0;
    GetNumListItems(gvTovra_COMM, 21, &listed);
    std::printf("  %d devices, %d candidates probed, %d listed (target < 100 ms median)\n",
                Lines(caDevMng_All_DEV), Lines(caDevMng_COM_Prolific_First), listed);
    // Each probe creates and syncs a lock file: a loaded disk shows here.
    if (FILE *f = std::fopen("/proc/loadavg", "r")) {
        double load = 0;
        if (std::fscanf(f, "%lf", &load) == 1)
            std::printf("  load average while measured: %.2f\n", load);
        std::fclose(f);
    }

    DiscardPanel(gvTovra_COMM);
    for (int m : masters)
        close(m);
    fs::current_path("/");
    fs::remove_all(work);
    return 0;
}
