#pragma once

#include "QynPixelBuffer.h"
#include "QynRecordFrame.h"

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

// Frames in memory between the thread that receives them and the threads that write
// them, within a budget of bytes. push() never waits for a writer: a frame that does
// not fit is refused at once, and the caller counts it. Buffers that were written go
// back for the next frames, so a steady recording allocates a few buffers only.
class QynFrameRing {
public:
    struct Entry {
        std::uint64_t sequence = 0;
        std::optional<std::uint64_t> number;
        std::optional<std::int64_t> timestampNs;
        std::uint64_t lostBefore = 0;  // frames lost between the entry before and this one
        std::unique_ptr<QynPixelBuffer> pixels;
        std::size_t bytes = 0;  // what the buffer holds against the budget
    };

    explicit QynFrameRing(std::size_t budgetBytes) : budget_(budgetBytes) {}

    // Copies the frame in; false when it does not fit in the budget or in memory.
    bool push(const QynRecordFrame& frame, std::uint64_t sequence, std::uint64_t lostBefore);
    // The oldest frame; waits while the ring is empty and open. Nothing once it is
    // closed and empty.
    std::optional<Entry> pop();
    // Gives a popped entry's buffer back for the frames to come.
    void recycle(Entry&& entry);
    // No frames come any more: pop() hands out what is left, then nothing.
    void close();
    // Closes and takes out every frame still waiting, for the caller to account for.
    std::vector<Entry> discard();

    // Bytes of the frames waiting or being written, and the budget.
    std::size_t heldBytes() const;
    std::size_t budget() const { return budget_; }

    static std::size_t frameBytes(const QynRecordFrame& frame);

private:
    const std::size_t budget_;
    mutable std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<Entry> waiting_;
    std::vector<Entry> spare_;      // written buffers kept for reuse
    std::size_t allocated_ = 0;     // every buffer: waiting, being written, spare
    std::size_t held_ = 0;          // waiting or being written
    bool closed_ = false;
};
