// Start-up: exec to the main window painted, offscreen, for the program
// (its own main, ended at the first paint) against a bare Qt program that
// loads the same resource file and shows it. The two are spawned in turn,
// so both see the same load; each figure is the median of the runs. Peak
// memory is the children's maximum resident set (wait4). Prints figures;
// it exits non-zero only when it cannot set up.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <unistd.h>

#include "bench.h"

namespace fs = std::filesystem;

namespace {

constexpr int kRuns = 20;

struct Subject {
    const char *name;
    std::vector<const char *> argv;
    std::vector<Sample> samples;
};

// One run in the current folder; Qt's warnings thrown away.
Sample Run(const std::vector<const char *> &argv)
{
    return SpawnTimed(std::vector<std::string>(argv.begin(), argv.end()), 2);
}

} // namespace

int main()
{
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    std::string work = EnterScratch("tovra-startup");
    if (work.empty())
        return kCannotSetUp;
    fs::create_directory(work + "/ports"); // an empty port map
    setenv("TOVRA_PORTS_DIR", (work + "/ports").c_str(), 1);

    // The program with and without following port events, both through
    // env(1) so that they differ in that alone.
    Subject subjects[] = {
        {"bare Qt (QUiLoader + show)", {TOVRA_STARTUP_BARE, TOVRA_UI_PATH}, {}},
        {"Tovra COMM", {"/usr/bin/env", "TOVRA_PORT_EVENTS=1", TOVRA_STARTUP_APP}, {}},
        {"Tovra COMM, no port events", {"/usr/bin/env", "TOVRA_PORT_EVENTS=0", TOVRA_STARTUP_APP}, {}},
    };
    for (Subject &s : subjects)
        Run(s.argv); // warm-up: page cache, font cache
    for (int i = 0; i < kRuns; ++i)
        for (Subject &s : subjects)
            s.samples.push_back(Run(s.argv));

    std::printf("start-up, exec to the window painted, offscreen, %d runs each, in turn:\n", kRuns);
    double medians[3] = {};
    for (int k = 0; k < 3; ++k) {
        std::vector<double> ms, rss;
        int failed = 0;
        for (const Sample &x : subjects[k].samples) {
            failed += !x.ok;
            if (x.ok) {
                ms.push_back(x.ms);
                rss.push_back(x.rssMiB);
            }
        }
        medians[k] = Median(ms);
        double peak = rss.empty() ? 0.0 : *std::max_element(rss.begin(), rss.end());
        std::printf("  %-28s median %7.1f ms, min %7.1f ms; peak RSS median %.1f MiB, max %.1f MiB%s\n",
                    subjects[k].name, medians[k], ms.empty() ? 0.0 : *std::min_element(ms.begin(), ms.end()),
                    Median(rss), peak, failed ? " (some runs failed)" : "");
    }
    if (medians[0] > 0.0)
        std::printf("  ratio %.2fx the bare program (target <= 1.2x); peak RSS target < 60 MiB\n",
                    medians[1] / medians[0]);
    if (medians[2] > 0.0)
        std::printf("  following port events: %.3fx the start-up without (target <= 1.05x)\n",
                    medians[1] / medians[2]);
    fs::current_path(fs::temp_directory_path());
    std::error_code ec;
    fs::remove_all(work, ec);
    return 0;
}
