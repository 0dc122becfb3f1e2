#include "QynFrameReader.h"

#include <chrono>
#include <cmath>
#include <thread>

namespace {

constexpr std::chrono::microseconds BlockIdWait{2000};
constexpr std::chrono::microseconds BlockIdPoll{50};

}  // namespace

bool QynFrameReader::map(GstBuffer* buffer, GstCaps* caps, Mapped& mapped)
{
    if (!buffer || !caps)
        return false;
    if (caps_.get() != caps && !(caps_ && gst_caps_is_equal(caps_.get(), caps))) {
        caps_.reset();
        gst_video_info_init(&info_);
        if (!gst_video_info_from_caps(&info_, caps))
            return false;
        caps_.reset(gst_caps_ref(caps));
        periodNs_ = GST_VIDEO_INFO_FPS_N(&info_) > 0
            ? std::int64_t(gst_util_uint64_scale_int(GST_SECOND, GST_VIDEO_INFO_FPS_D(&info_), GST_VIDEO_INFO_FPS_N(&info_)))
            : 0;
    }
    const GstVideoFormat format = GST_VIDEO_INFO_FORMAT(&info_);
    if (format != GST_VIDEO_FORMAT_GRAY8 && format != GST_VIDEO_FORMAT_BGRx)
        return false;
    if (!gst_video_frame_map(&mapped.video, &info_, buffer, GST_MAP_READ))
        return false;
    QynFrameTap::Frame& frame = mapped.frame;
    frame.data = static_cast<const std::uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&mapped.video, 0));
    frame.stride = GST_VIDEO_FRAME_PLANE_STRIDE(&mapped.video, 0);
    frame.width = GST_VIDEO_FRAME_WIDTH(&mapped.video);
    frame.height = GST_VIDEO_FRAME_HEIGHT(&mapped.video);
    frame.format = format == GST_VIDEO_FORMAT_GRAY8 ? QynPixelFormat::Gray8 : QynPixelFormat::Color32;
    number(buffer, frame);
    return true;
}

void QynFrameReader::unmap(Mapped& mapped)
{
    gst_video_frame_unmap(&mapped.video);
}

void QynFrameReader::number(GstBuffer* buffer, QynFrameTap::Frame& frame)
{
    if (GST_BUFFER_PTS_IS_VALID(buffer))
        frame.timestampNs = static_cast<std::int64_t>(GST_BUFFER_PTS(buffer));
    if (GST_BUFFER_OFFSET_IS_VALID(buffer)) {
        const std::uint64_t number = GST_BUFFER_OFFSET(buffer);
        if (lastNumber_ && number > *lastNumber_)
            frame.lostBefore = number - *lastNumber_ - 1;
        frame.number = number;
        lastNumber_ = number;
    } else if (aravisCamera_) {
        // A frame is read after its stream counted it; a stream made anew counts from zero.
        auto now = qyn::aravis::frameOf(aravisCamera_, frame.data);
        // Aravis may hand a frame on a moment before it tells its block id: where this
        // stream's frames have come unconverted, the id is worth a short wait.
        for (auto waited = std::chrono::microseconds(0); now && !now->blockId && now->stream == aravisLost_.stream
             && aravisLost_.numbered && waited < BlockIdWait; waited += BlockIdPoll) {
            std::this_thread::sleep_for(BlockIdPoll);
            now = qyn::aravis::frameOf(aravisCamera_, frame.data);
        }
        if (now) {
            const bool sameStream = now->stream == aravisLost_.stream;
            if (sameStream && now->lost > aravisLost_.lost)
                frame.lostBefore = now->lost - aravisLost_.lost;
            frame.number = now->blockId;
            aravisLost_ = {now->stream, now->lost, (sameStream && aravisLost_.numbered) || now->blockId.has_value()};
        }
    } else if (frame.timestampNs && lastTimestamp_ && periodNs_ > 0) {
        // A gap of one and a half periods or more means frames went missing.
        const std::int64_t gap = *frame.timestampNs - *lastTimestamp_;
        if (2 * gap >= 3 * periodNs_)
            frame.lostBefore = std::uint64_t(std::llround(double(gap) / double(periodNs_))) - 1;
    }
    if (frame.timestampNs)
        lastTimestamp_ = frame.timestampNs;
}
