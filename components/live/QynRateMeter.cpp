#include "QynRateMeter.h"

void QynRateMeter::record(Clock::time_point at)
{
    times_.push_back(at);
    forget(at);
}

void QynRateMeter::forget(Clock::time_point now)
{
    while (!times_.empty() && now - times_.front() > Window)
        times_.pop_front();
}

double QynRateMeter::rate(Clock::time_point now) const
{
    // Events inside the window; the rate from their spacing, so that a stream that has
    // just begun reads its own rate rather than a fraction of it.
    auto first = times_.begin();
    while (first != times_.end() && now - *first > Window)
        ++first;
    const auto count = std::distance(first, times_.end());
    if (count < 2)
        return 0.0;
    const auto span = std::chrono::duration<double>(times_.back() - *first).count();
    return span > 0 ? double(count - 1) / span : 0.0;
}
