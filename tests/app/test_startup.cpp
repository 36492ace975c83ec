// The built program as a process: where it finds its resource file, and
// how it ends on a termination signal. Each run gets a tree of its own
// (root/bin/tovra-comm plus the resource file where a row puts it) and a
// working folder; the run is ended by SIGTERM once start-up has begun.
#include <chrono>
#include <filesystem>
#include <thread>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "scratch.h"

namespace fs = std::filesystem;

namespace {

struct Layout {
    const char *name;
    const char *uiFolder; // under the tree's root; nullptr: no resource file
    int status;           // the exit status after SIGTERM
    const char *stderrHolds; // {root} stands for the tree's root
};

// Starts the tree's program in work/, waits for its first file (the log
// switch, written at the start of start-up), sends SIGTERM and returns the
// exit status, or -1 when it did not end by itself.
int RunAndTerminate(const std::string &program)
{
    pid_t pid = fork();
    if (pid == 0) {
        int err = open("stderr.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (err < 0 || chdir("work") != 0)
            _exit(126);
        dup2(err, 2);
        execl(program.c_str(), program.c_str(), static_cast<char *>(nullptr));
        _exit(127);
    }
    using namespace std::chrono;
    auto waitFor = [pid](auto done, seconds limit) {
        for (auto end = steady_clock::now() + limit; steady_clock::now() < end;
             std::this_thread::sleep_for(milliseconds(20)))
            if (done())
                return true;
        return false;
    };
    int status = 0;
    bool ended = false;
    auto reaped = [&] { return ended || (ended = waitpid(pid, &status, WNOHANG) == pid); };
    waitFor([&] { return reaped() || fs::exists("work/YN_log_main.txt"); }, seconds(60));
    if (!ended)
        kill(pid, SIGTERM);
    if (!waitFor(reaped, seconds(60))) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

class StartupTest : public ScratchDirTest, public ::testing::WithParamInterface<Layout> {};

} // namespace

TEST_P(StartupTest, FindsTheResourceFileRelativeToItselfOrSaysItIsMissing)
{
    const Layout &row = GetParam();
    fs::create_directories("root/bin");
    fs::create_directories("work");
    fs::create_directories("ports"); // an empty port map
    setenv("TOVRA_PORTS_DIR", (dir_ + "/ports").c_str(), 1);
    fs::copy_file(TOVRA_COMM_PATH, "root/bin/tovra-comm");
    if (row.uiFolder) {
        fs::create_directories(fs::path("root") / row.uiFolder);
        fs::copy_file(TOVRA_UI_PATH, fs::path("root") / row.uiFolder / "Tovra_COMM.ui");
    }
    EXPECT_EQ(RunAndTerminate(dir_ + "/root/bin/tovra-comm"), row.status) << ReadFileBytes("stderr.txt");
    std::string expected = row.stderrHolds;
    if (size_t at = expected.find("{root}"); at != std::string::npos)
        expected.replace(at, 6, fs::canonical("root").string());
    EXPECT_NE(ReadFileBytes("stderr.txt").find(expected), std::string::npos) << ReadFileBytes("stderr.txt");
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, StartupTest,
    ::testing::Values(Layout{"BuildTree", "gui", 0, ""},
                      Layout{"InstalledTree", "share/tovra-comm/gui", 0, ""},
                      Layout{"NoResourceFile", nullptr, 1,
                             "tovra-comm: Tovra_COMM.ui: resource file not found\n"
                             "cannot open {root}/share/tovra-comm/gui/Tovra_COMM.ui"}),
    [](const auto &info) { return std::string(info.param.name); });
