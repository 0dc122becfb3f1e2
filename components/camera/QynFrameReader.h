#pragma once

#include "QynFrameTap.h"

#include "QynAravisStreams.h"
#include "QynGst.h"

#include <gst/video/video.h>

#include <optional>

// Reads the frames of one stream as they pass, on its streaming thread: maps a buffer,
// describes it as a QynFrameTap::Frame and numbers it. Frames lost before a frame come
// from the gap in the buffers' offsets where the source numbers its frames (test
// patterns, V4L2's sequence); from an Aravis camera, from the block ids its stream saw
// (ids that never came whole), and a frame that came unconverted is numbered by its
// block id; otherwise, with a known frame rate, from the gap in the time stamps.
class QynFrameReader {
public:
    // Counts the frames lost by the stream of this Aravis camera (qyn::aravis::cameraOf),
    // before the stream starts.
    void countLossOf(const void* aravisCamera) { aravisCamera_ = aravisCamera; }

    // Calls use(frame) with the mapped frame; false when the buffer is no readable video.
    template <typename Use>
    bool read(GstBuffer* buffer, GstCaps* caps, Use&& use)
    {
        Mapped mapped;
        if (!map(buffer, caps, mapped))
            return false;
        use(static_cast<const QynFrameTap::Frame&>(mapped.frame));
        unmap(mapped);
        return true;
    }

private:
    struct Mapped {
        QynFrameTap::Frame frame;
        GstVideoFrame video{};
    };
    bool map(GstBuffer* buffer, GstCaps* caps, Mapped& mapped);
    static void unmap(Mapped& mapped);
    void number(GstBuffer* buffer, QynFrameTap::Frame& frame);

    qyn::gst::CapsPtr caps_;  // the caps info_ describes
    GstVideoInfo info_{};

    const void* aravisCamera_ = nullptr;
    struct {
        const void* stream = nullptr;
        std::uint64_t lost = 0;
        bool numbered = false;  // a frame of this stream had its block id
    } aravisLost_;  // the stream at the frame before

    std::optional<std::uint64_t> lastNumber_;
    std::optional<std::int64_t> lastTimestamp_;
    std::int64_t periodNs_ = 0;  // from the caps' frame rate; 0 when unknown
};
