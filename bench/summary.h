#pragma once

#include <algorithm>
#include <chrono>
#include <cmath>
#include <vector>

// Order statistics of a series of timings. The machine is shared and noisy: the median and
// the spread around it say more than a mean that one stalled run can drag.
struct Summary {
    int runs = 0;
    double median = 0;
    double p10 = 0;
    double p90 = 0;
    double min = 0;
    double max = 0;
};

inline double percentile(const std::vector<double>& sorted, double p) {
    if (sorted.empty())
        return NAN;
    // Linear interpolation between the closest ranks.
    const double rank = p * double(sorted.size() - 1);
    const auto below = std::size_t(std::floor(rank));
    const auto above = std::min(below + 1, sorted.size() - 1);
    return sorted[below] + (rank - double(below)) * (sorted[above] - sorted[below]);
}

inline Summary summarise(std::vector<double> values) {
    Summary s;
    s.runs = int(values.size());
    if (values.empty())
        return s;
    std::sort(values.begin(), values.end());
    s.median = percentile(values, 0.5);
    s.p10 = percentile(values, 0.1);
    s.p90 = percentile(values, 0.9);
    s.min = values.front();
    s.max = values.back();
    return s;
}

using BenchClock = std::chrono::steady_clock;

inline double millisecondsBetween(BenchClock::time_point from, BenchClock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}
