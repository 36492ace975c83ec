// tovra-cli as a whole process against the device simulator, side by side
// with mbpoll (libmodbus) on the same pseudo-terminal and slave when mbpoll
// is installed: a read of BR1 and BR2; a write of both with the EEPROM
// command and the read-back, against mbpoll's four commands for the same;
// a refused read. Each run from spawn to exit. Prints figures; it exits
// non-zero only when it cannot set up.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <unistd.h>

#include "bench.h"
#include "devsim.h"

namespace {

constexpr int kRuns = 21;

struct Figures {
    double median = 0.0;
    double rssMiB = 0.0;
    int failures = 0;
};

using Chain = std::vector<std::vector<std::string>>;

// Runs each chain of command lines `kRuns` times, the chains in turn within
// each round, so that what else the machine does falls on all of them
// alike; the median time of each whole chain.
std::vector<Figures> Measure(const std::vector<Chain> &chains)
{
    std::vector<std::vector<double>> ms(chains.size());
    std::vector<Figures> figures(chains.size());
    for (int i = 0; i < kRuns; ++i)
        for (size_t c = 0; c < chains.size(); ++c) {
            double total = 0.0;
            for (const std::vector<std::string> &args : chains[c]) {
                Sample s = SpawnTimed(args, 3);
                total += s.ms;
                figures[c].rssMiB = s.rssMiB > figures[c].rssMiB ? s.rssMiB : figures[c].rssMiB;
                figures[c].failures += !s.ok;
            }
            ms[c].push_back(total);
        }
    for (size_t c = 0; c < chains.size(); ++c)
        figures[c].median = Median(ms[c]);
    return figures;
}

void Print(const char *what, const Figures &f)
{
    std::printf("  %-58s median %7.1f ms  (%d of %d runs exited non-zero; peak memory %.1f MiB)\n",
                what, f.median, f.failures, kRuns, f.rssMiB);
}

// mbpoll's path, from $PATH; "" when it is not installed.
std::string FindMbpoll()
{
    const char *path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/bin:/bin";
    for (size_t start = 0; start <= dirs.size();) {
        size_t end = dirs.find(':', start);
        std::string candidate = dirs.substr(start, end - start) + "/mbpoll";
        if (access(candidate.c_str(), X_OK) == 0)
            return candidate;
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    return "";
}

} // namespace

int main()
{
    setenv("TOVRA_DEVSIM", TOVRA_DEVSIM_PATH, 0);
    std::string folder = EnterScratch("tovra-bench");
    if (folder.empty())
        return kCannotSetUp;
    DevSim sim;
    DevSim refusing({"--com", "201", "--fault", "exception=2"});
    if (!sim.ready() || !refusing.ready()) {
        std::printf("cannot set up: the simulator did not start\n%s%s", sim.output().c_str(),
                    refusing.output().c_str());
        return kCannotSetUp;
    }
    const std::string cli = TOVRA_CLI;
    const std::string com = std::to_string(sim.com());
    const std::string mbpoll = FindMbpoll();
    // mbpoll on the same line: 9600 8N1, slave 1, addresses from 0.
    auto mb = [&](const DevSim &device, std::vector<std::string> args, const char *value = nullptr) {
        std::vector<std::string> line = {mbpoll, "-m", "rtu", "-b", "9600", "-P", "none", "-a", "1",
                                         "-0", "-1"};
        line.insert(line.end(), args.begin(), args.end());
        line.push_back(device.ptyPath());
        if (value)
            line.push_back(value);
        return line;
    };
    SpawnTimed({cli, "read", "--com", com}, 1); // warm-up: the libraries into the page cache

    const Chain read = {{cli, "read", "--com", com}};
    const Chain write = {{cli, "write", "--com", com, "--br1", "38400", "--br2", "19200"}};
    const Chain refused = {{cli, "read", "--com", std::to_string(refusing.com())}};
    std::vector<Chain> chains = {read, write, refused};
    if (!mbpoll.empty()) {
        chains.push_back({mb(sim, {"-r", "0x1101", "-c", "2"})});
        chains.push_back({mb(sim, {"-r", "0x1101"}, "5")});
        chains.push_back({mb(sim, {"-t", "0", "-r", "0"}, "1")});
        chains.push_back({mb(sim, {"-r", "0x1101"}, "5"), mb(sim, {"-r", "0x1102"}, "4"),
                          mb(sim, {"-t", "0", "-r", "0"}, "1"), mb(sim, {"-r", "0x1101", "-c", "2"})});
        chains.push_back({mb(refusing, {"-r", "0x1101", "-c", "2"})});
    }
    std::vector<Figures> f = Measure(chains);

    std::printf("tovra-cli against tovra-devsim, %d runs each, whole process:\n", kRuns);
    Print("tovra-cli read", f[0]);
    Print("tovra-cli write --br1 --br2 (EEPROM command, read-back)", f[1]);
    Print("tovra-cli read, refused (exception 2)", f[2]);
    if (mbpoll.empty()) {
        std::printf("mbpoll is not installed: no side-by-side figures\n");
    } else {
        std::printf("mbpoll (%s) on the same line and slave, runs interleaved:\n", mbpoll.c_str());
        Print("mbpoll read of 0x1101, 2 registers", f[3]);
        Print("mbpoll write of one register", f[4]);
        Print("mbpoll write of coil 0 (the EEPROM command)", f[5]);
        Print("mbpoll chain: 0x1101, 0x1102, coil 0, read of 2", f[6]);
        Print("mbpoll read, refused (exception 2)", f[7]);
        // What the device itself takes to answer the EEPROM command: the
        // coil write's time beyond a register write's, by the same tool.
        double eeprom = f[5].median > f[4].median ? f[5].median - f[4].median : 0.0;
        double writeTarget = 1.5 * f[6].median + eeprom;
        std::printf("side by side:\n");
        std::printf("  read:    tovra-cli %.1f ms / mbpoll %.1f ms = %.2f (target <= 1.00)\n",
                    f[0].median, f[3].median, f[0].median / f[3].median);
        std::printf("  write:   tovra-cli %.1f ms / (1.5 x mbpoll chain %.1f ms + EEPROM answer %.1f ms "
                    "= %.1f ms) = %.2f (target <= 1.00)\n",
                    f[1].median, f[6].median, eeprom, writeTarget, f[1].median / writeTarget);
        std::printf("  refused: tovra-cli %.1f ms / mbpoll %.1f ms = %.2f (both exit non-zero)\n",
                    f[2].median, f[7].median, f[2].median / f[7].median);
    }
    sim.stop();
    refusing.stop();
    std::remove(sim.statePath().c_str());
    rmdir(folder.c_str());
    return 0;
}
