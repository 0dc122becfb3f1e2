#pragma once

#include "QynFrameTap.h"

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>

// The consumers of every frame an open camera delivers (a live view, a recording), beside
// the Grab that shares the same pipeline. Callbacks run on the streaming thread, one after
// the other, and must be quick: the camera's next frame waits for them. They must not add
// or remove listeners themselves.
class QynFrameListeners {
public:
    using Callback = QynFrameTap::Callback;
    using Id = std::uint64_t;

    Id add(Callback callback);
    // Once this returns, the callback never runs again (a running call has finished).
    void remove(Id id);
    bool empty() const { return count_.load(std::memory_order_relaxed) == 0; }

    // The streaming thread's side: hands the frame to every listener.
    void deliver(const QynFrameTap::Frame& frame);

private:
    std::mutex mutex_;  // held while callbacks run, so that remove() waits for them
    std::map<Id, Callback> callbacks_;
    Id next_ = 1;
    std::atomic<std::size_t> count_{0};
};
