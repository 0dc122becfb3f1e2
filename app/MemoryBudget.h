#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>

// Bytes that threads may hold at once. A thread takes its share before it loads an
// image and gives it back when the image is gone; a share larger than the whole budget
// is granted when nothing else is held, so one huge image still runs, alone.
class MemoryBudget {
public:
    explicit MemoryBudget(std::int64_t bytes) : limit_(bytes) {}

    // Waits for the bytes; returns false without them when `stop` turns true meanwhile.
    bool acquire(std::int64_t bytes, const std::function<bool()>& stop);
    void release(std::int64_t bytes);
    // Wakes the waiting threads so they look at their stop condition again.
    void wake();

private:
    std::mutex mutex_;
    std::condition_variable freed_;
    const std::int64_t limit_;
    std::int64_t held_ = 0;
};
