#include "MemoryBudget.h"

#include <chrono>

bool MemoryBudget::acquire(std::int64_t bytes, const std::function<bool()>& stop)
{
    std::unique_lock lock(mutex_);
    // A stop comes from a signal handler, which cannot notify: look again now and then.
    while (held_ > 0 && held_ + bytes > limit_) {
        if (stop())
            return false;
        freed_.wait_for(lock, std::chrono::milliseconds(100));
    }
    held_ += bytes;
    return true;
}

void MemoryBudget::release(std::int64_t bytes)
{
    {
        const std::lock_guard lock(mutex_);
        held_ -= bytes;
    }
    freed_.notify_all();
}

void MemoryBudget::wake()
{
    freed_.notify_all();
}
