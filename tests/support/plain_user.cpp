#include "plain_user.h"

#include <cerrno>
#include <cstdlib>
#include <string>

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

extern char **environ;

namespace {

constexpr const char *kPlainUser = "nobody";
constexpr const char *kRefusedEnv = "TOVRA_TEST_REFUSED_PTY";
constexpr int kExecFailed = 127;
constexpr int kCannotEnter = 126; // the user cannot reach the build folder

// The folder of the test binary: a plain user who cannot enter it cannot
// start the programs beside it either.
bool BuildOpenToMe()
{
    char self[4096];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0)
        return false;
    std::string dir(self, static_cast<size_t>(n));
    return access(dir.substr(0, dir.rfind('/')).c_str(), R_OK | X_OK) == 0;
}

// The current test run again, alone, in a child as `user`; its output and status.
int RunChild(const passwd *user, std::string &output)
{
    const ::testing::TestInfo *test = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string filter = std::string("--gtest_filter=") + test->test_suite_name() + "." + test->name();
    int self = open("/proc/self/exe", O_RDONLY | O_CLOEXEC);
    int pipeFds[2];
    if (self < 0 || pipe(pipeFds) != 0)
        return kExecFailed;
    pid_t pid = fork();
    if (pid == 0) {
        dup2(pipeFds[1], 1);
        dup2(pipeFds[1], 2);
        char *argv[] = {const_cast<char *>("plain-user-test"), filter.data(), nullptr};
        if (chdir("/") == 0 && setgroups(0, nullptr) == 0 && setgid(user->pw_gid) == 0 &&
            setuid(user->pw_uid) == 0) {
            // Checked before the test starts: its fixture already needs the files beside it.
            if (!BuildOpenToMe())
                _exit(kCannotEnter);
            fexecve(self, argv, environ);
        }
        _exit(kExecFailed);
    }
    close(pipeFds[1]);
    close(self);
    char buffer[4096];
    for (ssize_t n; (n = read(pipeFds[0], buffer, sizeof buffer)) > 0;)
        output.append(buffer, static_cast<size_t>(n));
    close(pipeFds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

} // namespace

bool AsPlainUser()
{
    auto skip = [](const std::string &why) { GTEST_SKIP() << why; };
    if (geteuid() != 0) {
        if (!BuildOpenToMe()) {
            skip("this user cannot enter the build folder; the plain-user pass of .ci/run runs this test");
            return false;
        }
        return true;
    }
    const passwd *user = getpwnam(kPlainUser);
    if (!user) {
        skip(std::string("running as root and there is no user ") + kPlainUser +
             " to run as; the plain-user pass of .ci/run runs this test");
        return false;
    }
    std::string output;
    int status = RunChild(user, output);
    if (status == kCannotEnter) {
        skip(std::string(kPlainUser) + " cannot enter the build folder; the plain-user pass of .ci/run runs this test");
        return false;
    }
    if (status == kExecFailed || output.find("[  SKIPPED ]") != std::string::npos) {
        skip(std::string("as ") + kPlainUser + ": " + output);
        return false;
    }
    EXPECT_EQ(status, 0) << "the test as user " << kPlainUser << ":\n" << output;
    return false;
}

RefusedPort::RefusedPort()
{
    if (const char *handed = std::getenv(kRefusedEnv)) {
        path_ = handed;
        return;
    }
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0)
        return;
    path_ = ptsname(master_);
    // Its group may read and write it, so joining the group would help: as a
    // USB adapter's group dialout. Root owns it, or the user owns it and has
    // no rights of its own (the owner's bits apply to the owner alone).
    if (geteuid() == 0)
        setenv(kRefusedEnv, path_.c_str(), 1);
    chmod(path_.c_str(), geteuid() == 0 ? 0660 : 0060);
}

RefusedPort::~RefusedPort()
{
    if (master_ >= 0) {
        unsetenv(kRefusedEnv);
        close(master_);
    }
}

bool RefusedPort::refused() const
{
    int fd = open(path_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd >= 0)
        close(fd);
    return fd < 0 && errno == EACCES;
}
