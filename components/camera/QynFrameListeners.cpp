#include "QynFrameListeners.h"

QynFrameListeners::Id QynFrameListeners::add(Callback callback)
{
    const std::lock_guard lock(mutex_);
    const Id id = next_++;
    callbacks_.emplace(id, std::move(callback));
    count_.store(callbacks_.size(), std::memory_order_relaxed);
    return id;
}

void QynFrameListeners::remove(Id id)
{
    const std::lock_guard lock(mutex_);
    callbacks_.erase(id);
    count_.store(callbacks_.size(), std::memory_order_relaxed);
}

void QynFrameListeners::deliver(const QynFrameTap::Frame& frame)
{
    const std::lock_guard lock(mutex_);
    for (auto& [id, callback] : callbacks_)
        callback(frame);
}
