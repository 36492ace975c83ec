// The simulator's mark on its port-map links: beside a link COMn that
// tovra-devsim made lies COMn.pid, the simulator's process ID. A simulator
// killed with SIGKILL cannot remove its link; the pseudo-terminal number it
// leads to is soon another program's, so such a link must not count as a
// port. Shared by the simulator (which writes and clears the mark) and the
// port map (which skips a stale link); header-only, as the simulator links
// none of the program's libraries.
#pragma once

#ifndef _WIN32

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

// The mark of the link at linkPath.
inline std::string ComSimPidPath(const std::string &linkPath)
{
    return linkPath + ".pid";
}

// The simulator's own process name: a live process of another name under the
// recorded ID is a later program that the kernel gave the same number.
constexpr const char *caComSimProcess = "tovra-devsim";

// Whether process `pid` runs, and (where /proc tells) under the simulator's name.
inline bool ComSimAlive(long pid)
{
    if (pid <= 0 || (kill(static_cast<pid_t>(pid), 0) != 0 && errno != EPERM))
        return false;
    char path[64];
    std::snprintf(path, sizeof path, "/proc/%ld/comm", pid);
    FILE *f = std::fopen(path, "r");
    if (!f)
        return true;
    char name[32] = "";
    bool got = std::fgets(name, sizeof name, f) != nullptr;
    std::fclose(f);
    return !got || std::strncmp(name, caComSimProcess, std::strlen(caComSimProcess)) == 0;
}

// True when the link carries a simulator's mark and that simulator is gone.
// A link without a mark (made by hand, to an adapter) is never stale. Only a
// regular file is read as a mark, without blocking on anything else.
inline bool ComSimLinkStale(const char *linkPath)
{
    int fd = open(ComSimPidPath(linkPath).c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st;
    char text[24] = "";
    ssize_t n = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) ? read(fd, text, sizeof text - 1) : -1;
    close(fd);
    long pid = 0;
    return n > 0 && std::sscanf(text, "%ld", &pid) == 1 && !ComSimAlive(pid);
}

#endif
