// Intervals between successive events (presents, updates) for the pacing benchmarks:
// their mean, worst, standard deviation and 99th percentile less the median.
#pragma once

#include <algorithm>
#include <chrono>
#include <cmath>
#include <vector>

namespace VaxoBench
{

struct Intervals
{
    double mMeanMs = 0.0;
    double mMaxMs = 0.0;
    double mStdDevMs = 0.0;
    double mP99LessMedianMs = 0.0;
};

// Seconds of the steady clock, finer than the framework's milliseconds.
inline double SteadySeconds()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Appends the intervals between successive times in seconds, as milliseconds.
inline void AppendIntervals(const std::vector<double>& seconds, std::vector<double>* ms)
{
    for (size_t i = 1; i < seconds.size(); i++)
        ms->push_back(1000.0 * (seconds[i] - seconds[i - 1]));
}

inline Intervals Measure(std::vector<double> ms)
{
    Intervals result;
    if (ms.empty())
        return result;
    double sum = 0.0, squares = 0.0;
    for (double interval : ms)
        sum += interval, squares += interval * interval;
    const double n = double(ms.size());
    result.mMeanMs = sum / n;
    result.mStdDevMs = std::sqrt(std::max(0.0, squares / n - result.mMeanMs * result.mMeanMs));
    std::sort(ms.begin(), ms.end());
    result.mMaxMs = ms.back();
    result.mP99LessMedianMs = ms[size_t(0.99 * double(ms.size() - 1))] - ms[ms.size() / 2];
    return result;
}

} // namespace VaxoBench
