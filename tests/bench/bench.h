// Small helpers shared by the benchmarks.
#pragma once

#include <algorithm>
#include <chrono>
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

extern char **environ;

using BenchClock = std::chrono::steady_clock;

// The exit status of a benchmark that could not set up (no simulator, no
// panel, no scratch folder): scripts/test.sh reports it, and CI fails.
constexpr int kCannotSetUp = 2;

// Makes a fresh folder `name`-XXXXXX in the system's temporary folder and
// enters it, so that the files a program writes land there. Its path, or ""
// after the "cannot set up" line.
inline std::string EnterScratch(const char *name)
{
    std::string work = (std::filesystem::temp_directory_path() / (std::string(name) + "-XXXXXX")).string();
    if (!mkdtemp(work.data()) || chdir(work.c_str()) != 0) {
        std::printf("cannot set up: no scratch folder\n");
        return "";
    }
    return work;
}

inline double Ms(BenchClock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

// Median of the values (the mean of the middle two for an even count).
inline double Median(std::vector<double> v)
{
    if (v.empty())
        return 0.0;
    std::sort(v.begin(), v.end());
    size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2.0;
}

// One run of a child process: spawn to exit, its peak memory (wait4), and
// whether it exited 0.
struct Sample {
    double ms = 0.0;
    double rssMiB = 0.0;
    bool ok = false;
};

// Runs args[0] with the arguments after it, in the current folder, its
// output on file descriptor `quiet` (1 or 2; 3 for both) thrown away.
inline Sample SpawnTimed(std::vector<std::string> args, int quiet)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    for (int fd = 1; fd <= 2; ++fd)
        if (quiet & fd)
            posix_spawn_file_actions_addopen(&actions, fd, "/dev/null", O_WRONLY, 0);
    std::vector<char *> argv;
    for (std::string &a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    Sample s;
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
