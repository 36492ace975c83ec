// The Windows checks run under Wine by scripts/wine-check.sh: each check is
// one line "pass: <sentence>" or "FAIL: <sentence>", which the script counts.
#pragma once

#include <cstdio>

inline int giWineFailed = 0;

inline void WineCheck(bool ok, const char *sentence)
{
    std::printf("%s: %s\n", ok ? "pass" : "FAIL", sentence);
    std::fflush(stdout);
    giWineFailed += ok ? 0 : 1;
}
