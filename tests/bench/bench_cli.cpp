// tovra-cli as a whole process against the device simulator: a read, and a
// write of BR1 with the EEPROM command and the read-back, each from spawn
// to exit, with the peak memory. Prints figures; it exits non-zero only
// when it cannot set up.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <unistd.h>

#include "bench.h"
#include "devsim.h"

namespace {

constexpr int kReads = 30;
constexpr int kWrites = 10;

Sample Spawn(std::vector<std::string> args)
{
    return SpawnTimed(std::move(args), 1);
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
        std::printf("cannot set up: no scratch folder\n");
        return kCannotSetUp;
    }
    DevSim sim;
    if (!sim.ready()) {
        std::printf("cannot set up: the simulator did not start\n%s", sim.output().c_str());
        return kCannotSetUp;
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
