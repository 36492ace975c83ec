// Port events: how long a port that comes takes to be listed in the real
// main panel (a link to a pseudo-terminal added to the port map, the real
// path of a simulator's start), and what the program costs while nothing
// happens (its CPU time over 10 idle seconds, the window open and following
// events). Prints figures; it exits non-zero only when it cannot set up.
#include <QApplication>
#include <QListWidget>
#include <QTest>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include "app/Tovra_main.h"
#include "bench.h"
#include "platform/port_watch.h"
#include "platform/ui.h"
#include "platform/ui_qt.h"
#include "serial/ComList.h"

namespace fs = std::filesystem;

namespace {

constexpr int kRuns = 20;
constexpr int kIdleSeconds = 10;
constexpr int kComList = 21;
constexpr int kTimeoutMs = 5000;

int Items()
{
    int n = 0;
    GetNumListItems(gvTovra_COMM, kComList, &n);
    return n;
}

// Handles events as they come until the list holds `count` items; the time
// it took, or -1 after the time-out.
double WaitForItems(int count, BenchClock::time_point start)
{
    auto end = start + std::chrono::milliseconds(kTimeoutMs);
    while (Items() != count) {
        if (BenchClock::now() > end)
            return -1.0;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    }
    return Ms(BenchClock::now() - start);
}

// user + system CPU time of process `pid` in ms, from /proc.
double CpuMs(pid_t pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), {});
    size_t close = text.rfind(')');
    if (close == std::string::npos)
        return -1.0;
    std::vector<std::string> fields;
    std::string field;
    for (char c : text.substr(close + 2)) {
        if (c == ' ') {
            fields.push_back(field);
            field.clear();
        } else {
            field += c;
        }
    }
    // utime and stime are fields 14 and 15 of the line, 12 and 13 after ")".
    if (fields.size() < 13)
        return -1.0;
    return (std::stod(fields[11]) + std::stod(fields[12])) * 1000.0 / sysconf(_SC_CLK_TCK);
}

// The program itself, idle in `work` with an empty port map: its CPU time
// over kIdleSeconds, after a start-up it is given 3 s for.
void IdleProgram(const std::string &work)
{
    pid_t pid = fork();
    if (pid == 0) {
        int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        dup2(null, 2);
        chdir((work + "/idle").c_str());
        execl(TOVRA_COMM, TOVRA_COMM, static_cast<char *>(nullptr));
        _exit(127);
    }
    std::this_thread::sleep_for(std::chrono::seconds(3));
    double before = CpuMs(pid);
    std::this_thread::sleep_for(std::chrono::seconds(kIdleSeconds));
    double after = CpuMs(pid);
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
    if (before < 0 || after < 0)
        std::printf("idle CPU: the program did not stay up\n");
    else
        std::printf("idle CPU with the watcher: %.0f ms over %d s (target 0 ms)\n", after - before,
                    kIdleSeconds);
}

} // namespace

int main(int argc, char **argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("TOVRA_PORTS_ONLY", "1", 1);
    std::string work = EnterScratch("tovra-events");
    if (work.empty())
        return kCannotSetUp;
    const std::string ports = work + "/ports";
    fs::create_directory(ports);
    fs::create_directory(work + "/idle");
    setenv("TOVRA_PORTS_DIR", ports.c_str(), 1);
    UiInit(&argc, argv);
    if (mf_Tovra_Form_COMM__init() < 0) {
        std::printf("cannot set up: %s\n", UiLastErrorDetail());
        return kCannotSetUp;
    }
    DisplayPanel(gvTovra_COMM);
    if (mf_Tovra_ComList__Follow() != 0) {
        std::printf("cannot set up: no port events\n");
        return kCannotSetUp;
    }
    int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
        std::printf("cannot set up: no pseudo-terminal\n");
        return kCannotSetUp;
    }
    const std::string device = ptsname(master);

    // Each plug and unplug comes alone, after the spacing that a burst
    // would have to wait for.
    auto settle = [] {
        QTest::qWait(2 * ciPortWatchSpacingMs);
    };
    std::vector<double> listed, dropped;
    for (int i = 0; i < kRuns; ++i) {
        settle();
        auto start = BenchClock::now();
        fs::create_symlink(device, ports + "/COM230");
        listed.push_back(WaitForItems(1, start));
        settle();
        start = BenchClock::now();
        fs::remove(ports + "/COM230");
        dropped.push_back(WaitForItems(0, start));
    }
    auto worst = [](const std::vector<double> &v) { return *std::max_element(v.begin(), v.end()); };
    std::printf("port-map link to listed: median %.1f ms, max %.1f ms (%d runs; target < 1000 ms, "
                "-1 = not within %d ms)\n", Median(listed), worst(listed), kRuns, kTimeoutMs);
    std::printf("link removed to dropped: median %.1f ms, max %.1f ms\n", Median(dropped), worst(dropped));
    close(master);

    IdleProgram(work);
    fs::current_path(fs::temp_directory_path());
    fs::remove_all(work);
    return 0;
}
