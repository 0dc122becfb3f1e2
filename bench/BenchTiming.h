#pragma once

#include <algorithm>
#include <chrono>
#include <functional>
#include <vector>

// Median and minimum of repeated runs, in milliseconds.
struct Timing {
    double median = 0, min = 0;
};

// Runs `run` once to warm up (page faults, thread start, caches), then `repetitions`
// times; `prepare` runs before each, outside the timed span.
inline Timing timeIt(int repetitions, const std::function<void()>& prepare,
                     const std::function<void()>& run)
{
    using Clock = std::chrono::steady_clock;
    std::vector<double> ms;
    prepare();
    run();
    for (int i = 0; i < repetitions; ++i) {
        prepare();
        const auto start = Clock::now();
        run();
        ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    std::sort(ms.begin(), ms.end());
    return {ms[ms.size() / 2], ms.front()};
}

inline Timing timeIt(int repetitions, const std::function<void()>& run)
{
    return timeIt(repetitions, [] {}, run);
}
