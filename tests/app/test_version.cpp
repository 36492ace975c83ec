// The programs as a user starts them from a shell: --version, and the window
// without a display to show it on.
#include <sys/wait.h>

#include <cstdio>
#include <string>

#include <gtest/gtest.h>

namespace {

struct Outcome {
    std::string out; // stdout and stderr
    int status;
};

Outcome Shell(const std::string &command)
{
    Outcome r{"", -1};
    FILE *p = popen((command + " 2>&1").c_str(), "r");
    if (!p)
        return r;
    char buf[256];
    while (size_t n = fread(buf, 1, sizeof buf, p))
        r.out.append(buf, n);
    int status = pclose(p);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return r;
}

struct VersionCase {
    const char *name;
    const char *path;
};

class VersionTest : public ::testing::TestWithParam<VersionCase> {};

} // namespace

TEST_P(VersionTest, PrintsItsNameAndVersionAndExitsZero)
{
    Outcome r = Shell(std::string("'") + GetParam().path + "' --version");
    EXPECT_EQ(r.out, std::string(GetParam().name) + " " TOVRA_VERSION "\n");
    EXPECT_EQ(r.status, 0);
}

INSTANTIATE_TEST_SUITE_P(Programs, VersionTest,
                         ::testing::Values(VersionCase{"tovra-comm", TOVRA_COMM_PATH},
                                           VersionCase{"tovra-cli", TOVRA_CLI_PATH},
                                           VersionCase{"tovra-devsim", TOVRA_DEVSIM_PATH}),
                         [](const auto &info) { return std::string(info.param.name).substr(6); });

TEST(NoDisplay, TheWindowSaysWhatToSetInOneLineAndExitsOne)
{
    Outcome r = Shell(std::string("env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM '") + TOVRA_COMM_PATH + "'");
    EXPECT_EQ(r.out, "tovra-comm: no display: set DISPLAY (or WAYLAND_DISPLAY), or run with "
                     "QT_QPA_PLATFORM=offscreen\n");
    EXPECT_EQ(r.status, 1) << "not Qt's abort";
}
