// Small helpers shared by the benchmarks.
#pragma once

#include <algorithm>
#include <chrono>
#include <vector>

using BenchClock = std::chrono::steady_clock;

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
