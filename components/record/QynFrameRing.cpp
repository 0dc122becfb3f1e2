#include "QynFrameRing.h"

#include <cstring>
#include <new>

std::size_t QynFrameRing::frameBytes(const QynRecordFrame& frame)
{
    return static_cast<std::size_t>(frame.width) * static_cast<std::size_t>(frame.height)
        * static_cast<std::size_t>(qynBytesPerPixel(frame.format));
}

bool QynFrameRing::push(const QynRecordFrame& frame, std::uint64_t sequence, std::uint64_t lostBefore)
{
    if (!frame.data || frame.width < 1 || frame.height < 1 || frame.width > QynPixelBuffer::MaxBufferSide
        || frame.height > QynPixelBuffer::MaxBufferSide)
        return false;
    const std::size_t bytes = frameBytes(frame);
    Entry entry;
    std::unique_ptr<QynPixelBuffer> tooSmall;  // freed outside the lock
    {
        const std::lock_guard lock(mutex_);
        if (closed_)
            return false;
        if (!spare_.empty()) {
            entry = std::move(spare_.back());
            spare_.pop_back();
            if (entry.bytes < bytes || !entry.pixels->reshape(frame.width, frame.height, frame.format)) {
                // Another frame size: the old buffer makes room for one that fits.
                allocated_ -= entry.bytes;
                tooSmall = std::move(entry.pixels);
                entry.bytes = 0;
            }
        }
        if (!entry.pixels) {
            if (allocated_ + bytes > budget_)
                return false;
            allocated_ += bytes;
            entry.bytes = bytes;
        }
        held_ += entry.bytes;
    }
    tooSmall.reset();
    if (!entry.pixels) {
        try {
            entry.pixels = std::make_unique<QynPixelBuffer>(frame.width, frame.height, frame.format);
        } catch (const std::bad_alloc&) {
            const std::lock_guard lock(mutex_);
            allocated_ -= entry.bytes;
            held_ -= entry.bytes;
            return false;
        }
    }
    const auto rowBytes = static_cast<std::size_t>(frame.width) * static_cast<std::size_t>(qynBytesPerPixel(frame.format));
    for (int y = 0; y < frame.height; ++y)
        std::memcpy(entry.pixels->row(y), frame.data + std::ptrdiff_t(y) * frame.stride, rowBytes);
    entry.sequence = sequence;
    entry.number = frame.number;
    entry.timestampNs = frame.timestampNs;
    entry.lostBefore = lostBefore;
    bool taken = false;
    {
        const std::lock_guard lock(mutex_);
        try {
            if (!closed_) {
                waiting_.push_back(std::move(entry));
                taken = true;
            }
        } catch (const std::bad_alloc&) {
        }
        if (!taken) {  // closed while the frame was copied, or no memory for the queue
            held_ -= entry.bytes;
            allocated_ -= entry.bytes;
        }
    }
    if (taken)
        ready_.notify_one();
    return taken;
}

std::optional<QynFrameRing::Entry> QynFrameRing::pop()
{
    std::unique_lock lock(mutex_);
    ready_.wait(lock, [this] { return closed_ || !waiting_.empty(); });
    if (waiting_.empty())
        return std::nullopt;
    Entry entry = std::move(waiting_.front());
    waiting_.pop_front();
    return entry;
}

void QynFrameRing::recycle(Entry&& entry)
{
    const std::lock_guard lock(mutex_);
    held_ -= entry.bytes;
    try {
        if (entry.pixels) {
            spare_.push_back(std::move(entry));
            return;
        }
    } catch (const std::bad_alloc&) {  // the buffer goes instead of waiting for reuse
    }
    allocated_ -= entry.bytes;
}

void QynFrameRing::close()
{
    {
        const std::lock_guard lock(mutex_);
        closed_ = true;
    }
    ready_.notify_all();
}

std::vector<QynFrameRing::Entry> QynFrameRing::discard()
{
    std::vector<Entry> left;
    {
        const std::lock_guard lock(mutex_);
        closed_ = true;
        for (Entry& entry : waiting_) {
            held_ -= entry.bytes;
            allocated_ -= entry.bytes;
            left.push_back(std::move(entry));
        }
        waiting_.clear();
    }
    ready_.notify_all();
    for (Entry& entry : left)
        entry.pixels.reset();
    return left;
}

std::size_t QynFrameRing::heldBytes() const
{
    const std::lock_guard lock(mutex_);
    return held_;
}
