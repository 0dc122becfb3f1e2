#pragma once

#include <chrono>
#include <cstddef>
#include <deque>

// Events a second over the last second (a camera's frames, a display's paints).
class QynRateMeter {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr Clock::duration Window = std::chrono::seconds(1);

    void record(Clock::time_point at);
    // 0 until two events fall in the window before `now`.
    double rate(Clock::time_point now) const;
    void clear() { times_.clear(); }

private:
    void forget(Clock::time_point now);

    std::deque<Clock::time_point> times_;
};
