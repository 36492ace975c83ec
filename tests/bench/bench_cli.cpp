// tovra-cli as a whole process against the device simulator: a read, and a
// write of BR1 with the EEPROM command and the read-back, each from spawn
// to exit, with the peak memory. Prints figures only; it never fails.
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
#include "devsim.h"

extern char **environ;

namespace {

constexpr int kReads = 30;
constexpr int kWrites = 10;

struct Sample {
    double ms;
    double rssMiB;
    bool ok;
};

Sample Spawn(std::vector<std::string> args)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    std::vector<char *> argv;
    for (std::string &a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    Sample s = {0.0, 0.0, false};
    pid_t pid;
    auto start = BenchClock::now();
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
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

void Report(const char *what, const std::vector<Sample> &samples, double targetMs)
{
    std::vector<double> ms;
    double rss = 0.0;
    int failures = 0;
    for (const Sample &s : samples) {
        ms.push_back(s.ms);
        rss = s.rssMiB > rss ? s.rssMiB : rss;
        failures += !s.ok;
    }
    std::sort(ms.begin(), ms.end());
    std::printf("%s, %zu runs (%d failed): median %.1f ms, min %.1f ms, 90%% %.1f ms, max %.1f ms "
                "(target < %.0f ms median); peak memory %.1f MiB\n",
                what, ms.size(), failures, Median(ms), ms.front(), ms[ms.size() * 9 / 10], ms.back(),
                targetMs, rss);
}

} // namespace

int main()
{
    setenv("TOVRA_DEVSIM", TOVRA_DEVSIM_PATH, 0);
    std::string folder = (std::filesystem::temp_directory_path() / "tovra-bench-XXXXXX").string();
    if (mkdtemp(folder.data()) == nullptr || chdir(folder.c_str()) != 0) {
        std::printf("skipped: no scratch folder\n");
        return 0;
    }
    DevSim sim;
    if (!sim.ready()) {
        std::printf("skipped: the simulator did not start\n%s", sim.output().c_str());
        return 0;
    }
    const std::string com = std::to_string(sim.com());
    Spawn({TOVRA_CLI, "read", "--com", com}); // warm-up: the libraries into the page cache

    std::vector<Sample> reads;
    for (int i = 0; i < kReads; ++i)
        reads.push_back(Spawn({TOVRA_CLI, "read", "--com", com}));
    std::vector<Sample> writes;
    for (int i = 0; i < kWrites; ++i)
        writes.push_back(Spawn({TOVRA_CLI, "write", "--com", com, "--br1", i % 2 ? "19200" : "38400"}));
    sim.stop();
    std::remove(sim.statePath().c_str());
    rmdir(folder.c_str());

    Report("tovra-cli read", reads, 100.0);
    Report("tovra-cli write --br1 (EEPROM command, read-back)", writes, 1000.0);
    return 0;
}
