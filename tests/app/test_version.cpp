// The programs as a user starts them from a shell: --version, --help (which
// the manual pages are made from), and the window without a display to show it on.
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cli/cli.h"
#include "tools/devsim/devsim.h"

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

// The version the build worked out (from git, else project()), which the
// package is named with too: every program prints it, and Debian takes it.
TEST_P(VersionTest, PrintsTheBuildsVersionAndExitsZero)
{
    std::string version;
    std::getline(std::ifstream(TOVRA_VERSION_FILE), version);
    EXPECT_TRUE(std::regex_match(version, std::regex("[0-9][A-Za-z0-9.+~]*"))) << version;
    Outcome r = Shell(std::string("'") + GetParam().path + "' --version");
    EXPECT_EQ(r.out, std::string(GetParam().name) + " " + version + "\n");
    EXPECT_EQ(r.status, 0);
}

INSTANTIATE_TEST_SUITE_P(Programs, VersionTest,
                         ::testing::Values(VersionCase{"tovra-comm", TOVRA_COMM_PATH},
                                           VersionCase{"tovra-cli", TOVRA_CLI_PATH},
                                           VersionCase{"tovra-devsim", TOVRA_DEVSIM_PATH}),
                         [](const auto &info) { return std::string(info.param.name).substr(6); });

namespace {

std::vector<std::string> CliOptions()
{
    std::vector<std::string> names;
    for (int i = 0; const char *name = mf_Tovra_CLI__Option_name(i); ++i)
        names.push_back(name);
    return names;
}

// The README's section under `heading`, up to the next section.
std::string ReadmeSection(const std::string &heading)
{
    std::stringstream readme;
    readme << std::ifstream(TOVRA_README).rdbuf();
    std::string text = readme.str();
    size_t start = text.find("\n## " + heading + "\n");
    return start == std::string::npos ? "" : text.substr(start, text.find("\n## ", start + 1) - start);
}

// Every match of the first group of `pattern` in `text`.
std::vector<std::string> Matches(const std::string &text, const std::string &pattern)
{
    std::vector<std::string> found;
    std::regex re(pattern);
    for (auto m = std::sregex_iterator(text.begin(), text.end(), re); m != std::sregex_iterator(); ++m)
        found.push_back((*m)[1]);
    return found;
}

bool HasWord(const std::string &text, const std::string &word)
{
    // Option names are letters, digits and hyphens: nothing to escape.
    return std::regex_search(text, std::regex("(^|[^A-Za-z0-9-])" + word + "($|[^A-Za-z0-9-])"));
}

struct HelpCase {
    const char *path;
    std::vector<std::string> (*options)(); // the parser's own table
    const char *readme;                    // the README section that names its options
};

class HelpTest : public ::testing::TestWithParam<HelpCase> {};

} // namespace

// `--help` is what the manual page is made from: it names every option the
// parser takes, every option the README names, and each exit status of the
// README's table.
TEST_P(HelpTest, NamesEveryOptionOfTheParserAndTheReadme)
{
    Outcome help = Shell(std::string("'") + GetParam().path + "' --help");
    ASSERT_EQ(help.status, 0) << help.out;
    std::string section = ReadmeSection(GetParam().readme);
    ASSERT_FALSE(section.empty()) << GetParam().readme;
    for (const std::string &option : GetParam().options())
        EXPECT_TRUE(HasWord(help.out, option)) << option << " is parsed but not in --help";
    for (const std::string &option : Matches(section, "(?:^|[^A-Za-z0-9-])(--?[a-z][a-z0-9-]*)"))
        EXPECT_TRUE(HasWord(help.out, option)) << option << " is in the README but not in --help";
    std::string exits = help.out.substr(std::min(help.out.find("Exit status:"), help.out.size()));
    for (const std::string &status : Matches(section, "\n\\| ([0-9]+) \\|"))
        EXPECT_TRUE(std::regex_search(exits, std::regex("(:|;|\n) ?" + status + " "))) << "exit status " << status;
}

INSTANTIATE_TEST_SUITE_P(Programs, HelpTest,
                         ::testing::Values(HelpCase{TOVRA_CLI_PATH, CliOptions, "Scripting: tovra-cli"},
                                           HelpCase{TOVRA_DEVSIM_PATH, mf_Dev_Options__names,
                                                    "Trying it without a device"}),
                         [](const auto &info) { return info.index ? std::string("devsim") : std::string("cli"); });

TEST(NoDisplay, TheWindowSaysWhatToSetInOneLineAndExitsOne)
{
    Outcome r = Shell(std::string("env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM '") + TOVRA_COMM_PATH + "'");
    EXPECT_EQ(r.out, "tovra-comm: no display: set DISPLAY (or WAYLAND_DISPLAY), or run with "
                     "QT_QPA_PLATFORM=offscreen\n");
    EXPECT_EQ(r.status, 1) << "not Qt's abort";
}
