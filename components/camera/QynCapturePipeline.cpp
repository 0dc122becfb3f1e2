#include "QynCapturePipeline.h"

#include "QynCameraAccess.h"
#include "QynAravisSocketBuffer.h"
#include "QynAravisStreams.h"
#include "QynFrameCopy.h"
#include "QynVideoResult.h"

#include <gst/video/video.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <thread>

namespace {

using namespace std::chrono;
using Outcome = QynCapturePipeline::Outcome;

constexpr const char* SinkName = "qyn_capture_sink";
constexpr const char* DemosaicName = "qyn_demosaic";
// How long a failed start waits for the reason to reach the bus.
constexpr milliseconds ErrorWait{500};
// How often opening looks whether the source has settled its format.
constexpr milliseconds CapsPoll{5};

// Bayer frames (video/x-bayer, from colour machine-vision sensors) need demosaicing,
// which videoconvert cannot do; autoconvert puts bayer2rgb in front of it only for them.
bool demosaicAvailable()
{
    for (const char* name : {"autoconvert", "bayer2rgb"})
        if (!qyn::gst::ObjectPtr<GstElementFactory>(gst_element_factory_find(name)))
            return false;
    return true;
}

// The code of an error message: a format the source cannot give, a missing element,
// or `otherwise`.
std::int32_t codeOf(GstMessage* message, std::int32_t otherwise)
{
    GError* raw = nullptr;
    gst_message_parse_error(message, &raw, nullptr);
    const qyn::gst::ErrorPtr error(raw);
    const GstStructure* details = nullptr;
    gst_message_parse_error_details(message, &details);
    gint flow = GST_FLOW_OK;
    if (details && gst_structure_get_int(details, "flow-return", &flow) && flow == GST_FLOW_NOT_NEGOTIATED)
        return QynVideoResult::FormatNotOffered;
    if (!error)
        return otherwise;
    if (g_error_matches(error.get(), GST_CORE_ERROR, GST_CORE_ERROR_NEGOTIATION)
        || g_error_matches(error.get(), GST_STREAM_ERROR, GST_STREAM_ERROR_FORMAT)
        || g_error_matches(error.get(), GST_RESOURCE_ERROR, GST_RESOURCE_ERROR_SETTINGS)
        || g_error_matches(error.get(), GST_RESOURCE_ERROR, GST_RESOURCE_ERROR_WRITE))  // a setting refused
        return QynVideoResult::FormatNotOffered;
    if (g_error_matches(error.get(), GST_CORE_ERROR, GST_CORE_ERROR_MISSING_PLUGIN))
        return QynVideoResult::ElementMissing;
    return otherwise;
}
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

}  // namespace

std::unique_ptr<QynCapturePipeline> QynCapturePipeline::open(const QynVideoConfig& config, Outcome& outcome,
                                                             std::shared_ptr<QynFrameListeners> listeners)
{
    qyn::gst::ensureInitialized();
    qyn::aravis::sizeSocketBuffersToFrames();
    qyn::aravis::watchStreams();
    std::unique_ptr<QynCapturePipeline> capture(new QynCapturePipeline(config));
    capture->listeners_ = std::move(listeners);
    outcome = capture->start();
    if (outcome.ok())
        outcome = capture->settleFormat();
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
    controls_.controls.reset();  // they hold the source's connection
    if (pipeline_)
        gst_element_set_state(pipeline_.get(), GST_STATE_NULL);
}

Outcome QynCapturePipeline::start()
{
    const auto began = steady_clock::now();
    const QString tail = QStringLiteral("videoconvert ! %1%2 ! appsink name=%3 max-buffers=1 drop=true sync=false wait-on-eos=false "
                                        "enable-last-sample=false")
                             .arg(config_.nativeSize() ? QString() : QStringLiteral("videoscale ! "),
                                  config_.capsText(), QString::fromLatin1(SinkName));
    // The source on its own first: its errors are the operator's, and a source with its
    // pad at hand gets the demosaicing in front of the conversion.
    GError* rawError = nullptr;
    // The identity lets the source end in caps, which the parser reads only between two elements.
    qyn::gst::ElementPtr source = qyn::gst::sunk(gst_parse_bin_from_description(
        QStringLiteral("%1 ! identity").arg(config_.source).toUtf8().constData(), TRUE, &rawError));
    if (rawError)
        return parseFailure(rawError);
    const qyn::gst::ObjectPtr<GstPad> sourcePad(gst_element_get_static_pad(source.get(), "src"));
    demosaic_ = sourcePad && demosaicAvailable();
    if (demosaic_) {
        if (Outcome built = buildWithDemosaic(std::move(source), tail); !built.ok())
            return built;
    } else {
        // A source whose pad comes later (a decoder) is linked by the parser when it comes.
        // gst_parse_launch can hand back a half-built pipeline together with an error.
        pipeline_ = qyn::gst::sunk(
            gst_parse_launch(QStringLiteral("%1 ! %2").arg(config_.source, tail).toUtf8().constData(), &rawError));
        if (rawError) {
            pipeline_.reset();
            return parseFailure(rawError);
        }
        if (!pipeline_ || !GST_IS_PIPELINE(pipeline_.get())) {
            pipeline_.reset();
            return {QynVideoResult::PipelineInvalid, QStringLiteral("the source does not form a pipeline")};
        }
        sinkElement_.reset(gst_bin_get_by_name(GST_BIN(pipeline_.get()), SinkName));
    }
    if (!sinkElement_ || !GST_IS_APP_SINK(sinkElement_.get()))
        return {QynVideoResult::PipelineInvalid,
                QStringLiteral("the source must not name an element %1").arg(QString::fromLatin1(SinkName))};
    sink_ = GST_APP_SINK(sinkElement_.get());
    qyn::aravis::streamLoopbackCameras(pipeline_.get());
    reader_.countLossOf(qyn::aravis::cameraOf(pipeline_.get()));
    listen();
    bus_.reset(gst_element_get_bus(pipeline_.get()));
    // A camera another program still controls would accept no settings.
    if (const QString busy = QynCameraAccess::takeControl(pipeline_.get(), began); !busy.isEmpty())
        return {QynVideoResult::DeviceFailed, busy};
    // The source's controls are taken before the stream runs: aravissrc answers for its
    // camera only between two frames, and a camera waiting for a trigger sends none.
    if (gst_element_set_state(pipeline_.get(), GST_STATE_PAUSED) != GST_STATE_CHANGE_FAILURE)
        controls_ = QynSourceControls::of(pipeline_.get());
    const GstStateChangeReturn change = gst_element_set_state(pipeline_.get(), GST_STATE_PLAYING);
    if (change != GST_STATE_CHANGE_FAILURE) {
        // A bounded wait: a source that starts but sends nothing yet counts as open.
        const auto wait = std::min<milliseconds>(OpenWait, milliseconds(config_.timeoutMs));
        const GstStateChangeReturn state = gst_element_get_state(
            pipeline_.get(), nullptr, nullptr, GstClockTime(duration_cast<nanoseconds>(wait).count()));
        if (state != GST_STATE_CHANGE_FAILURE) {
            if (auto failed = busFailure()) {
                failure_ = {};
                return openFailure(*failed);
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
    Outcome outcome{QynVideoResult::DeviceFailed, QStringLiteral("the pipeline does not start")};
    if (auto failed = busFailure()) {
        outcome = openFailure(*failed);
    } else if (const qyn::gst::MessagePtr message{
                   gst_bus_timed_pop_filtered(bus_.get(), ErrorWait.count() * GST_MSECOND, GST_MESSAGE_ERROR)}) {
        // The element that failed may post its reason a moment after the state change.
        outcome = openFailure({codeOf(message.get(), QynVideoResult::StreamError), qyn::gst::errorText(message.get())});
    }
    failure_ = {};
    return outcome;
}

void QynCapturePipeline::listen()
{
    if (!listeners_)
        return;
    // A probe in front of the appsink sees every frame, also those the sink drops
    // because no Grab takes them; it goes with the pipeline.
    const qyn::gst::ObjectPtr<GstPad> pad(gst_element_get_static_pad(sinkElement_.get(), "sink"));
    gst_pad_add_probe(pad.get(), GST_PAD_PROBE_TYPE_BUFFER, &QynCapturePipeline::onBuffer, this, nullptr);
}

GstPadProbeReturn QynCapturePipeline::onBuffer(GstPad* pad, GstPadProbeInfo* info, gpointer self)
{
    auto* capture = static_cast<QynCapturePipeline*>(self);
    if (capture->listeners_->empty())
        return GST_PAD_PROBE_OK;
    const qyn::gst::CapsPtr caps(gst_pad_get_current_caps(pad));
    capture->reader_.read(GST_PAD_PROBE_INFO_BUFFER(info), caps.get(),
                          [capture](const QynFrameTap::Frame& frame) { capture->listeners_->deliver(frame); });
    return GST_PAD_PROBE_OK;
}

bool QynCapturePipeline::failed()
{
    return busFailure().has_value();
}

bool QynCapturePipeline::stopped()
{
    return failed() || ended_;
}

Outcome QynCapturePipeline::parseFailure(GError* raw)
{
    const qyn::gst::ErrorPtr error(raw);
    const QString text = QString::fromUtf8(error->message);
    if (g_error_matches(error.get(), GST_PARSE_ERROR, GST_PARSE_ERROR_NO_SUCH_ELEMENT))
        return {QynVideoResult::ElementMissing, text};
    if (g_error_matches(error.get(), GST_PARSE_ERROR, GST_PARSE_ERROR_LINK))  // caps that do not meet
        return {QynVideoResult::FormatNotOffered, text};
    return {QynVideoResult::PipelineInvalid, text};
}

Outcome QynCapturePipeline::buildWithDemosaic(qyn::gst::ElementPtr source, const QString& tail)
{
    GError* rawError = nullptr;
    const qyn::gst::ElementPtr rest = qyn::gst::sunk(gst_parse_bin_from_description(tail.toUtf8().constData(), TRUE, &rawError));
    if (rawError)
        return parseFailure(rawError);
    // autoconvert left to itself would try every converter there is: it gets its two
    // choices before anything is linked to it. The list and its references go to it.
    const qyn::gst::ElementPtr demosaic = qyn::gst::sunk(gst_element_factory_make("autoconvert", DemosaicName));
    GList* factories = nullptr;
    for (const char* name : {"videoconvert", "bayer2rgb"})
        factories = g_list_prepend(factories, gst_element_factory_find(name));
    g_object_set(demosaic.get(), "factories", factories, nullptr);
    pipeline_ = qyn::gst::sunk(gst_pipeline_new(nullptr));
    GstBin* bin = GST_BIN(pipeline_.get());
    // The bin takes references of its own; ours go when this returns.
    for (GstElement* element : {source.get(), demosaic.get(), rest.get()})
        gst_bin_add(bin, element);
    sinkElement_.reset(gst_bin_get_by_name(GST_BIN(rest.get()), SinkName));
    if (!gst_element_link_many(source.get(), demosaic.get(), rest.get(), nullptr))
        return {QynVideoResult::FormatNotOffered, QStringLiteral("the source gives nothing that converts to video frames")};
    return {};
}

Outcome QynCapturePipeline::openFailure(const Outcome& failed) const
{
    // While opening, a failure of the stream is the device's.
    Outcome outcome{failed.code == QynVideoResult::StreamError ? QynVideoResult::DeviceFailed : failed.code, failed.text};
    if (outcome.code == QynVideoResult::FormatNotOffered && !demosaic_)
        outcome.text += QStringLiteral(" (a camera that sends Bayer frames needs GStreamer's bayer2rgb and "
                                       "autoconvert elements, Debian package gstreamer1.0-plugins-bad)");
    return outcome;
}

Outcome QynCapturePipeline::settleFormat()
{
    // Waits until the source has settled its format (a failure then shows now, not at
    // the first Grab) or, for a source that sends nothing yet, a bounded time. The
    // frames keep the size the source settled on when the configuration names none.
    const auto deadline = steady_clock::now() + std::min<milliseconds>(OpenWait, milliseconds(config_.timeoutMs));
    const qyn::gst::ObjectPtr<GstPad> pad(gst_element_get_static_pad(sinkElement_.get(), "sink"));
    for (;;) {
        if (auto failed = busFailure()) {
            failure_ = {};
            return openFailure(*failed);
        }
        if (const qyn::gst::CapsPtr caps{gst_pad_get_current_caps(pad.get())}) {
            GstVideoInfo info;
            gst_video_info_init(&info);
            if (!gst_video_info_from_caps(&info, caps.get()))
                return {QynVideoResult::BadFrame, QStringLiteral("the source settled on caps that are not video")};
            width_ = GST_VIDEO_INFO_WIDTH(&info);
            height_ = GST_VIDEO_INFO_HEIGHT(&info);
            if (width_ > QynVideoConfig::MaxSide || height_ > QynVideoConfig::MaxSide)
                return {QynVideoResult::ConfigInvalid,
                        QStringLiteral("the source's frames of %1 x %2 pixels are larger than %3 a side; set a "
                                       "smaller region or width and height")
                            .arg(width_)
                            .arg(height_)
                            .arg(QynVideoConfig::MaxSide)};
            return {};
        }
        if (steady_clock::now() >= deadline) {
            if (!config_.nativeSize())
                return {};  // it counts as open; Grab waits for the frames
            return {QynVideoResult::Timeout,
                    QStringLiteral("the source gave no frame size within %1 ms")
                        .arg(std::min<milliseconds>(OpenWait, milliseconds(config_.timeoutMs)).count())};
        }
        std::this_thread::sleep_for(CapsPoll);
    }
}

std::optional<Outcome> QynCapturePipeline::busFailure()
{
    if (!failure_.ok())
        return failure_;
    // Popping with a filter also discards the other messages, so the bus never fills up.
    while (qyn::gst::MessagePtr message{
               gst_bus_pop_filtered(bus_.get(), GstMessageType(GST_MESSAGE_ERROR | GST_MESSAGE_EOS))}) {
        if (GST_MESSAGE_TYPE(message.get()) == GST_MESSAGE_EOS) {
            ended_ = true;  // Grab tells by the sink, once the frames before it are gone
            continue;
        }
        failure_ = {codeOf(message.get(), QynVideoResult::StreamError), qyn::gst::errorText(message.get())};
        return failure_;
    }
    return std::nullopt;
}

Outcome QynCapturePipeline::pullFresh(qyn::gst::SamplePtr& sample, const Trigger& trigger)
{
    if (auto failed = busFailure())
        return *failed;
    const std::optional<qint64> since = runningTimeNow();
    // What waits in the sink was taken before this call.
    while (qyn::gst::SamplePtr old{gst_app_sink_try_pull_sample(sink_, 0)}) {
    }
    int discarded = 0;
    if (trigger) {
        if (Outcome sent = trigger(); !sent.ok())
            return sent;
        discarded = 1;  // the frame that comes is the triggered one, whatever its timestamp
    }
    const auto deadline = steady_clock::now() + milliseconds(config_.timeoutMs);
    for (;;) {
        if (auto failed = busFailure())
            return *failed;
        const auto left = duration_cast<nanoseconds>(deadline - steady_clock::now());
        if (left <= nanoseconds::zero())
            return {QynVideoResult::Timeout,
                    QStringLiteral("no frame within %1 ms").arg(config_.timeoutMs)};
        const auto slice = std::min<nanoseconds>(left, PullSlice);
        sample.reset(gst_app_sink_try_pull_sample(sink_, GstClockTime(slice.count())));
        if (!sample) {
            if (gst_app_sink_is_eos(sink_)) {
                if (auto failed = busFailure())  // an error usually comes with its own EOS
                    return *failed;
                failure_ = {QynVideoResult::EndOfStream, QStringLiteral("the video source has ended")};
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

Outcome QynCapturePipeline::grab(std::shared_ptr<QynPixelBuffer>& frame, const Trigger& trigger)
{
    qyn::gst::SamplePtr sample;
    if (Outcome pulled = pullFresh(sample, trigger); !pulled.ok())
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
        || GST_VIDEO_INFO_FORMAT(&info) != wanted || GST_VIDEO_INFO_WIDTH(&info) != width_
        || GST_VIDEO_INFO_HEIGHT(&info) != height_)
        return {QynVideoResult::BadFrame, QStringLiteral("a frame of another size or format arrived")};
    const MappedFrame mapped(&info, buffer);
    if (!mapped.mapped())
        return {QynVideoResult::BadFrame, QStringLiteral("a frame could not be read")};
    try {
        auto out = std::make_shared<QynPixelBuffer>(width_, height_, config_.format);
        for (int y = 0; y < height_; ++y) {
            qyn::copyFrameRow(mapped.row(y), out->row(y), width_, config_.format);
        }
        frame = std::move(out);
    } catch (const std::bad_alloc&) {
        return {QynVideoResult::OutOfMemory, QStringLiteral("no memory for a frame")};
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
