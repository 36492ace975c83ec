// Start-up: exec to the main window painted, offscreen, for the program
// (its own main, ended at the first paint) against a bare Qt program that
// loads the same resource file and shows it. The two are spawned in turn,
// so both see the same load; each figure is the median of the runs. Peak
// memory is the children's maximum resident set (wait4). Prints figures
// only; it never fails.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "bench.h"

extern char **environ;

namespace fs = std::filesystem;

namespace {

constexpr int kRuns = 20;

struct Sample {
    double ms = 0.0;
    double rssMiB = 0.0;
    bool ok = false;
};

struct Subject {
    const char *name;
    std::vector<const char *> argv;
    std::vector<Sample> samples;
};

// One run in the current folder: spawn, wait, time and peak memory.
Sample Run(const std::vector<const char *> &argv)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0); // Qt's warnings
    std::vector<char *> args;
    for (const char *a : argv)
        args.push_back(const_cast<char *>(a));
    args.push_back(nullptr);
    Sample s;
    pid_t pid;
    auto start = BenchClock::now();
    if (posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ) == 0) {
        int status = 0;
        struct rusage usage = {};
        if (wait4(pid, &status, 0, &usage) == pid) {
            s.ms = Ms(BenchClock::now() - start);
            s.rssMiB = usage.ru_maxrss / 1024.0;
            s.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
        }
    }
    posix_spawn_file_actions_destroy(&actions);
    return s;
}

} // namespace

int main()
{
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    std::string work = (fs::temp_directory_path() / "tovra-startup-XXXXXX").string();
    if (!mkdtemp(work.data())) {
        std::printf("skipped: no scratch folder\n");
        return 0;
    }
    fs::create_directory(work + "/ports"); // an empty port map
    setenv("TOVRA_PORTS_DIR", (work + "/ports").c_str(), 1);
    fs::current_path(work); // the program writes its files here

    Subject subjects[] = {
        {"bare Qt (QUiLoader + show)", {TOVRA_STARTUP_BARE, TOVRA_UI_PATH}, {}},
        {"Tovra COMM", {TOVRA_STARTUP_APP}, {}},
    };
    for (Subject &s : subjects)
        Run(s.argv); // warm-up: page cache, font cache
    for (int i = 0; i < kRuns; ++i)
        for (Subject &s : subjects)
            s.samples.push_back(Run(s.argv));

    std::printf("start-up, exec to the window painted, offscreen, %d runs each, in turn:\n", kRuns);
    double medians[2] = {};
    for (int k = 0; k < 2; ++k) {
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
    fs::current_path(fs::temp_directory_path());
    std::error_code ec;
    fs::remove_all(work, ec);
    return 0;
}
