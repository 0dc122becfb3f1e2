#pragma once

#include "QynFrameTap.h"
#include "QynPixelBuffer.h"

#include <pybind11/numpy.h>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>

// A camera's live frames for a Python loop, through the frame tap: each frame is copied
// once, on the streaming thread, into a buffer of its own that the array handed out
// owns. At most `capacity` frames wait; when the loop falls behind, the oldest waiting
// frame gives way to the newest and is counted in dropped().
class QynPyFrameStream {
public:
    // Starts streaming; QynPyError with the camera's code when the source does not start.
    QynPyFrameStream(const QynVideoConfig& config, int capacity);
    ~QynPyFrameStream();
    QynPyFrameStream(const QynPyFrameStream&) = delete;
    QynPyFrameStream& operator=(const QynPyFrameStream&) = delete;

    // The next frame, waiting up to the configuration's timeout with the GIL released.
    // Raises StopIteration once stopped or when the source has ended, QynPyError on a
    // failure or a timeout.
    pybind11::array next();
    void stop();
    bool running() const;
    std::uint64_t dropped() const;

    static void registerIn(pybind11::module_& module);

private:
    void push(const QynFrameTap::Frame& frame);

    const int capacity_;
    const int timeoutMs_;
    mutable std::mutex mutex_;
    std::condition_variable arrived_;
    std::deque<std::shared_ptr<QynPixelBuffer>> waiting_;
    std::uint64_t dropped_ = 0;
    std::mutex stateMutex_;  // one look at the pipeline's state at a time
    // Last: it stops before the queue goes. Shared with a next() looking at its state
    // while stop() lets it go.
    std::shared_ptr<QynFrameTap> tap_;
};
