#include "QynCapturePipeline.h"

#include "QynVideo.h"

#include <gst/video/video.h>

#include <algorithm>
#include <cstring>
#include <new>

namespace {

using namespace std::chrono;
using Outcome = QynCapturePipeline::Outcome;

constexpr const char* SinkName = "qyn_capture_sink";
// Pulls wait in short slices so that a failure on the bus ends a Grab at once.
constexpr milliseconds PullSlice{40};

// Keeps a mapped video frame for the length of a scope.
class MappedFrame {
public:
    MappedFrame(GstVideoInfo* info, GstBuffer* buffer)
        : mapped_(gst_video_frame_map(&frame_, info, buffer, GST_MAP_READ))
    {
    }
    ~MappedFrame()
    {
        if (mapped_)
            gst_video_frame_unmap(&frame_);
    }
    MappedFrame(const MappedFrame&) = delete;
    MappedFrame& operator=(const MappedFrame&) = delete;

    bool mapped() const { return mapped_; }
    const std::uint8_t* row(int y) const
    {
        return static_cast<const std::uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&frame_, 0))
            + std::ptrdiff_t(y) * GST_VIDEO_FRAME_PLANE_STRIDE(&frame_, 0);
    }

private:
    GstVideoFrame frame_{};
    bool mapped_;
};

// BGRx frames carry X = 0xff; a colour slot keeps X = 0 (0x00RRGGBB words).
void copyColourRow(const std::uint8_t* from, std::uint8_t* to, int width)
{
    for (int x = 0; x < width; ++x) {
        std::uint32_t word;
        std::memcpy(&word, from + 4 * x, 4);
        word &= 0x00ffffffu;
        std::memcpy(to + 4 * x, &word, 4);
    }
}

}  // namespace

std::unique_ptr<QynCapturePipeline> QynCapturePipeline::open(const QynVideoConfig& config,
                                                             Outcome& outcome)
{
    qyn::gst::ensureInitialized();
    std::unique_ptr<QynCapturePipeline> capture(new QynCapturePipeline(config));
    outcome = capture->start();
    for (int i = 0; outcome.ok() && i < config.warmupFrames; ++i) {
        qyn::gst::SamplePtr sample;
        outcome = capture->pullFresh(sample);
    }
    if (!outcome.ok())
        capture.reset();
    return capture;
}

QynCapturePipeline::~QynCapturePipeline()
{
    if (pipeline_)
        gst_element_set_state(pipeline_.get(), GST_STATE_NULL);
}

Outcome QynCapturePipeline::start()
{
    const QString description =
        QStringLiteral("%1 ! videoconvert ! videoscale ! %2 ! appsink name=%3 max-buffers=1 "
                       "drop=true sync=false enable-last-sample=false")
            .arg(config_.source, config_.capsText(), QString::fromLatin1(SinkName));
    GError* rawError = nullptr;
    GstElement* element = gst_parse_launch(description.toUtf8().constData(), &rawError);
    // gst_parse_launch can hand back a half-built pipeline together with an error.
    if (element)
        pipeline_.reset(GST_ELEMENT(gst_object_ref_sink(element)));
    if (rawError) {
        const qyn::gst::ErrorPtr error(rawError);
        pipeline_.reset();
        return {QynVideo::PipelineInvalid, QString::fromUtf8(error->message)};
    }
    if (!pipeline_ || !GST_IS_PIPELINE(pipeline_.get())) {
        pipeline_.reset();
        return {QynVideo::PipelineInvalid, QStringLiteral("the source does not form a pipeline")};
    }
    sinkElement_.reset(gst_bin_get_by_name(GST_BIN(pipeline_.get()), SinkName));
    if (!sinkElement_ || !GST_IS_APP_SINK(sinkElement_.get()))
        return {QynVideo::PipelineInvalid,
                QStringLiteral("the source must not name an element %1").arg(QString::fromLatin1(SinkName))};
    sink_ = GST_APP_SINK(sinkElement_.get());
    bus_.reset(gst_element_get_bus(pipeline_.get()));

    const GstStateChangeReturn change = gst_element_set_state(pipeline_.get(), GST_STATE_PLAYING);
    if (change != GST_STATE_CHANGE_FAILURE) {
        // A bounded wait: a source that starts but sends nothing yet counts as open.
        const auto wait = std::min<milliseconds>(OpenWait, milliseconds(config_.timeoutMs));
        const GstStateChangeReturn state = gst_element_get_state(
            pipeline_.get(), nullptr, nullptr, GstClockTime(duration_cast<nanoseconds>(wait).count()));
        if (state != GST_STATE_CHANGE_FAILURE) {
            if (auto failed = busFailure()) {
                failure_ = {};
                return {QynVideo::DeviceFailed, failed->text};
            }
            GstQuery* query = gst_query_new_latency();
            gboolean live = FALSE;
            if (gst_element_query(pipeline_.get(), query))
                gst_query_parse_latency(query, &live, nullptr, nullptr);
            gst_query_unref(query);
            live_ = live;
            return {};
        }
    }
    // The state change failed: the bus holds the real reason.
    Outcome outcome{QynVideo::DeviceFailed, QStringLiteral("the pipeline does not start")};
    if (auto failed = busFailure())
        outcome.text = failed->text;
    failure_ = {};
    return outcome;
}

std::optional<Outcome> QynCapturePipeline::busFailure()
{
    if (!failure_.ok())
        return failure_;
    // Popping with a filter also discards the other messages, so the bus never fills up.
    while (qyn::gst::MessagePtr message{gst_bus_pop_filtered(bus_.get(), GST_MESSAGE_ERROR)}) {
        failure_ = {QynVideo::StreamError, qyn::gst::errorText(message.get())};
        return failure_;
    }
    return std::nullopt;
}

Outcome QynCapturePipeline::pullFresh(qyn::gst::SamplePtr& sample)
{
    if (auto failed = busFailure())
        return *failed;
    const std::optional<qint64> since = runningTimeNow();
    // What waits in the sink was taken before this call.
    while (qyn::gst::SamplePtr old{gst_app_sink_try_pull_sample(sink_, 0)}) {
    }
    const auto deadline = steady_clock::now() + milliseconds(config_.timeoutMs);
    int discarded = 0;
    for (;;) {
        if (auto failed = busFailure())
            return *failed;
        const auto left = duration_cast<nanoseconds>(deadline - steady_clock::now());
        if (left <= nanoseconds::zero())
            return {QynVideo::Timeout,
                    QStringLiteral("no frame within %1 ms").arg(config_.timeoutMs)};
        const auto slice = std::min<nanoseconds>(left, PullSlice);
        sample.reset(gst_app_sink_try_pull_sample(sink_, GstClockTime(slice.count())));
        if (!sample) {
            if (gst_app_sink_is_eos(sink_)) {
                if (auto failed = busFailure())  // an error usually comes with its own EOS
                    return *failed;
                failure_ = {QynVideo::EndOfStream, QStringLiteral("the video source has ended")};
                return failure_;
            }
            continue;
        }
        // A frame still on its way when the call began can arrive after the drain. Its
        // timestamp tells on a live source; a source without usable timestamps gives up
        // one frame instead, which bounds the wait at two frame times either way.
        if (discarded == 0 && !isFresh(sample.get(), since)) {
            ++discarded;
            continue;
        }
        return {};
    }
}

bool QynCapturePipeline::isFresh(GstSample* sample, std::optional<qint64> since) const
{
    if (!live_ || !since)
        return false;
    GstBuffer* buffer = gst_sample_get_buffer(sample);
    const GstSegment* segment = gst_sample_get_segment(sample);
    if (!buffer || !segment || !GST_BUFFER_PTS_IS_VALID(buffer))
        return false;
    const guint64 time = gst_segment_to_running_time(segment, GST_FORMAT_TIME, GST_BUFFER_PTS(buffer));
    return time != GST_CLOCK_TIME_NONE && qint64(time) >= *since;
}

Outcome QynCapturePipeline::grab(std::shared_ptr<QynPixelBuffer>& frame)
{
    qyn::gst::SamplePtr sample;
    if (Outcome pulled = pullFresh(sample); !pulled.ok())
        return pulled;
    Outcome copied = copyFrame(sample.get(), frame);
    if (copied.ok()) {
        GstBuffer* buffer = gst_sample_get_buffer(sample.get());
        const GstSegment* segment = gst_sample_get_segment(sample.get());
        lastFrameTime_.reset();
        if (buffer && segment && GST_BUFFER_PTS_IS_VALID(buffer)) {
            const guint64 time =
                gst_segment_to_running_time(segment, GST_FORMAT_TIME, GST_BUFFER_PTS(buffer));
            if (time != GST_CLOCK_TIME_NONE)
                lastFrameTime_ = qint64(time);
        }
    }
    return copied;
}

Outcome QynCapturePipeline::copyFrame(GstSample* sample, std::shared_ptr<QynPixelBuffer>& frame) const
{
    GstCaps* caps = gst_sample_get_caps(sample);
    GstBuffer* buffer = gst_sample_get_buffer(sample);
    GstVideoInfo info;
    gst_video_info_init(&info);
    const GstVideoFormat wanted =
        config_.format == QynPixelFormat::Gray8 ? GST_VIDEO_FORMAT_GRAY8 : GST_VIDEO_FORMAT_BGRx;
    if (!caps || !buffer || !gst_video_info_from_caps(&info, caps)
        || GST_VIDEO_INFO_FORMAT(&info) != wanted || GST_VIDEO_INFO_WIDTH(&info) != config_.width
        || GST_VIDEO_INFO_HEIGHT(&info) != config_.height)
        return {QynVideo::BadFrame, QStringLiteral("a frame of another size or format arrived")};
    const MappedFrame mapped(&info, buffer);
    if (!mapped.mapped())
        return {QynVideo::BadFrame, QStringLiteral("a frame could not be read")};
    try {
        auto out = std::make_shared<QynPixelBuffer>(config_.width, config_.height, config_.format);
        for (int y = 0; y < config_.height; ++y) {
            if (config_.format == QynPixelFormat::Gray8)
                std::memcpy(out->row(y), mapped.row(y), std::size_t(config_.width));
            else
                copyColourRow(mapped.row(y), out->row(y), config_.width);
        }
        frame = std::move(out);
    } catch (const std::bad_alloc&) {
        return {QynVideo::OutOfMemory, QStringLiteral("no memory for a frame")};
    }
    return {};
}

std::optional<qint64> QynCapturePipeline::runningTimeNow() const
{
    const qyn::gst::ClockPtr clock(gst_element_get_clock(pipeline_.get()));
    if (!clock)
        return std::nullopt;
    const GstClockTime now = gst_clock_get_time(clock.get());
    const GstClockTime base = gst_element_get_base_time(pipeline_.get());
    if (now == GST_CLOCK_TIME_NONE || base == GST_CLOCK_TIME_NONE || now < base)
        return std::nullopt;
    return qint64(now - base);
}
