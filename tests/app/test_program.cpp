// The built program as a process. Where it finds its resource file and how
// it ends on a termination signal: each run gets a tree of its own
// (root/bin/tovra-comm plus the resource file where a row puts it) and a
// working folder, and is ended by SIGTERM once start-up has begun. And one
// whole operator session, end to end, against tovra-devsim.
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "devsim.h"
#include "log_texts.h"
#include "scratch.h"

namespace fs = std::filesystem;

namespace {

struct Layout {
    const char *name;
    const char *uiFolder; // under the tree's root; nullptr: no resource file
    int status;           // the exit status after SIGTERM
    const char *outputHolds; // {root} stands for the tree's root; nullptr: the
                             // output names no resource file at all
};

// Starts program (with one argument, or none) in folder, its standard output
// and error going to output.txt in the current folder.
pid_t Start(const std::string &program, const char *folder, const char *arg = nullptr)
{
    pid_t pid = fork();
    if (pid == 0) {
        int out = open("output.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (out < 0 || chdir(folder) != 0)
            _exit(126);
        dup2(out, 1);
        dup2(out, 2);
        execl(program.c_str(), program.c_str(), arg, static_cast<char *>(nullptr));
        _exit(127);
    }
    return pid;
}

// Polls done() every 20 ms for up to limit; true once it holds.
template <typename Done>
bool WaitFor(Done done, std::chrono::seconds limit)
{
    using namespace std::chrono;
    for (auto end = steady_clock::now() + limit; steady_clock::now() < end;
         std::this_thread::sleep_for(milliseconds(20)))
        if (done())
            return true;
    return false;
}

// The exit status once the process has ended by itself within the limit
// (128 + the signal number when a signal ended it), else -1 after SIGKILL.
int ExitStatus(pid_t pid, std::chrono::seconds limit)
{
    int status = 0;
    if (!WaitFor([&] { return waitpid(pid, &status, WNOHANG) == pid; }, limit)) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// Starts the tree's program in work/, waits for its first file (the log
// switch, written at the start of start-up), sends SIGTERM and returns the
// exit status.
int RunAndTerminate(const std::string &program)
{
    pid_t pid = Start(program, "work");
    int status = 0;
    bool ended = false;
    WaitFor([&] { return (ended = waitpid(pid, &status, WNOHANG) == pid) || fs::exists("work/YN_log_main.txt"); },
            std::chrono::seconds(60));
    if (ended)
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    kill(pid, SIGTERM);
    return ExitStatus(pid, std::chrono::seconds(60));
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
    EXPECT_EQ(RunAndTerminate(dir_ + "/root/bin/tovra-comm"), row.status) << ReadFileBytes("output.txt");
    const std::string output = ReadFileBytes("output.txt");
    if (!row.outputHolds) {
        EXPECT_EQ(output.find("Tovra_COMM.ui"), std::string::npos) << output;
        return;
    }
    std::string expected = row.outputHolds;
    if (size_t at = expected.find("{root}"); at != std::string::npos)
        expected.replace(at, 6, fs::canonical("root").string());
    EXPECT_NE(output.find(expected), std::string::npos) << output;
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, StartupTest,
    ::testing::Values(Layout{"BuildTree", "gui", 0, nullptr},
                      Layout{"InstalledTree", "share/tovra-comm/gui", 0, nullptr},
                      Layout{"NoResourceFile", nullptr, 1,
                             "tovra-comm: Tovra_COMM.ui: resource file not found\n"
                             "cannot open {root}/share/tovra-comm/gui/Tovra_COMM.ui"}),
    [](const auto &info) { return std::string(info.param.name); });

// The session of e2e_driver.cpp, as the log records it from the language
// restore on (a search that meets a Prolific adapter logs before it).
const std::string kSessionLog =
    "lang = 2\n"
    "Close COM P222 OK\n" +
    OpenReport(209, "0-8-1") + "\n"
    "r BR1, BR2\n" +
    kReadBRTx +
    "\tP222\tMB.Rx\t#01.03 (04)   [0003][0003]  {4a32}\tRead\n"
    "\n"
    "--------------\n"
    "1101 5\n"
    "1102 3\n"
    "0000 ff00\n"
    "\n" +
    kWriteBR1_5 +
    "w BR2\n"
    "\tP222\tMB.Tx\t#01.06 <1102> [0003] {6d37}\tWrite word\n"
    "\tP222\tMB.Rx\t#01.06 <1102> [0003] {6d37}\tWrite word\n"
    "\n" +
    kWriteEeprom;

class EndToEndTest : public ScratchDirTest {};

TEST_F(EndToEndTest, TheProgramFindsTheSimulatorReadsWritesBR1AndEndsOnTheGraveAccent)
{
    WriteFileBytes("lang.txt", "2");
    WriteFileBytes("YN_log_main.txt", "1");
    DevSim sim({"--com", "209"});
    ASSERT_TRUE(sim.ready()) << sim.output();

    EXPECT_EQ(ExitStatus(Start(TOVRA_E2E_PATH, ".", "209"), std::chrono::seconds(120)), 0)
        << ReadFileBytes("output.txt");
    const std::string log = ReadFileBytes("log___main.txt");
    EXPECT_EQ(log.substr(std::min(log.find("lang = "), log.size())), kSessionLog) << ReadFileBytes("output.txt");
    EXPECT_EQ(ReadFileBytes(sim.statePath()), "BR1=5\nBR2=3\n") << sim.output();
    EXPECT_EQ(ReadFileBytes("lang.txt"), "2");
}

// Nothing lost across runs: each start in a folder logs one line (a folder
// entry that cannot be written, COM__Exist.txt as a folder, stands in for
// the run's work), so what a run left can be told from what the next wrote.
constexpr const char *kStartLine = "cannot write in this folder :: ";

class RunsInOneFolder : public ScratchDirTest {
protected:
    void SetUp() override
    {
        ScratchDirTest::SetUp();
        for (const char *folder : {"work/COM__Exist.txt", "ports", "one", "two"})
            fs::create_directories(folder);
        WriteFileBytes("work/YN_log_main.txt", "1");
        setenv("TOVRA_PORTS_DIR", (dir_ + "/ports").c_str(), 1);
        setenv("TOVRA_PORTS_ONLY", "1", 1);
    }
    // Starts the program in work/, its output in <from>/output.txt.
    pid_t StartFrom(const char *from)
    {
        fs::current_path(dir_ + "/" + from);
        pid_t pid = Start(TOVRA_COMM_PATH, (dir_ + "/work").c_str());
        fs::current_path(dir_);
        return pid;
    }
    static bool Holds(const std::string &file, const std::string &piece)
    {
        return ReadFileBytes(file).find(piece) != std::string::npos;
    }
    // Start-up is over when the language line, its last log line, is in.
    static bool Started()
    {
        return WaitFor([] { return Holds("work/log___main.txt", kStartLine) && Holds("work/log___main.txt", "lang = "); },
                       std::chrono::seconds(60));
    }
};

TEST_F(RunsInOneFolder, TheLastRunsLogIsKeptAsLogDot1WhenTheProgramStartsAgainHoweverThatRunEnded)
{
    for (int signal : {SIGTERM, SIGKILL}) {
        pid_t first = StartFrom("one");
        ASSERT_TRUE(Started()) << ReadFileBytes("one/output.txt");
        kill(first, signal);
        ExitStatus(first, std::chrono::seconds(60));
        const std::string last = ReadFileBytes("work/log___main.txt");

        pid_t second = StartFrom("two");
        ASSERT_TRUE(WaitFor([] { return fs::exists("work/log___main.txt.1"); }, std::chrono::seconds(60)) && Started())
            << "signal " << signal << ": " << ReadFileBytes("two/output.txt");
        kill(second, SIGTERM);
        EXPECT_EQ(ExitStatus(second, std::chrono::seconds(60)), 0) << "signal " << signal;
        EXPECT_EQ(ReadFileBytes("work/log___main.txt.1"), last) << "signal " << signal;
        const std::string now = ReadFileBytes("work/log___main.txt");
        EXPECT_EQ(now.find(kStartLine), now.rfind(kStartLine)) << "emptied before the new run wrote: " << now;
        fs::remove("work/log___main.txt.1");
    }
}

// A second program in the folder ends leaving the first one's files alone:
// with status 0 once the first brought its window to the front, with the
// refusal's message box (closed here by SIGTERM) and status 1 while the
// first does not answer (stopped, as a hung program).
TEST_F(RunsInOneFolder, ASecondProgramInTheSameFolderEndsLeavingTheFirstOnesFilesAlone)
{
    struct Case {
        const char *first;
        bool stopped;
        const char *lineEnd; // after the folder
        int status;
    };
    const Case cases[] = {
        {"running", false, "; its window is in front now\n", 0},
        {"stopped", true, "\n", 1},
    };
    pid_t first = StartFrom("one");
    ASSERT_TRUE(Started()) << ReadFileBytes("one/output.txt");
    const std::string log = ReadFileBytes("work/log___main.txt");
    fs::remove("work/Dev_Mng_00_All_DEV.txt"); // a search would write it again

    for (const Case &c : cases) {
        if (c.stopped)
            kill(first, SIGSTOP);
        pid_t second = StartFrom("two");
        const std::string says =
            "tovra-comm: Tovra COMM already runs in this folder: " + fs::canonical("work").string() + c.lineEnd;
        EXPECT_TRUE(WaitFor([&] { return Holds("two/output.txt", says); }, std::chrono::seconds(60)))
            << c.first << ": " << ReadFileBytes("two/output.txt");
        if (c.stopped)
            kill(second, SIGTERM); // closes its popup
        EXPECT_EQ(ExitStatus(second, std::chrono::seconds(60)), c.status) << c.first;
        kill(first, SIGCONT);
        EXPECT_EQ(ReadFileBytes("work/log___main.txt"), log) << c.first;
        EXPECT_EQ(ReadFileBytes("work/YN_log_main.txt"), "1");
        EXPECT_FALSE(fs::exists("work/log___main.txt.1"));
        EXPECT_FALSE(fs::exists("work/lang.txt"));
        EXPECT_FALSE(fs::exists("work/Dev_Mng_00_All_DEV.txt"));
    }
    kill(first, SIGTERM);
    EXPECT_EQ(ExitStatus(first, std::chrono::seconds(60)), 0) << ReadFileBytes("one/output.txt");
}
