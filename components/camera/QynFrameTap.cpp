#include "QynFrameTap.h"

#include "QynAravisSocketBuffer.h"
#include "QynAravisStreams.h"
#include "QynCapturePipeline.h"
#include "QynFrameReader.h"
#include "QynGst.h"
#include "QynVideoResult.h"

namespace {

constexpr const char* SinkName = "qyn_tap_sink";

}  // namespace

struct QynFrameTap::Stream {
    Callback callback;
    std::atomic<std::uint64_t>* frames = nullptr;
    qyn::gst::ElementPtr pipeline;
    qyn::gst::BusPtr bus;
    QynFrameReader reader;  // the streaming thread's own

    static GstFlowReturn onSample(GstAppSink* sink, gpointer self);
    void deliver(GstSample* sample);
};

QynFrameTap::QynFrameTap(const QynVideoConfig& config, Callback callback)
    : config_(config), stream_(std::make_unique<Stream>())
{
    stream_->callback = std::move(callback);
    stream_->frames = &frames_;
}

std::unique_ptr<QynFrameTap> QynFrameTap::open(const QynVideoConfig& config, Callback callback, Outcome& outcome)
{
    qyn::gst::ensureInitialized();
    qyn::aravis::sizeSocketBuffersToFrames();
    qyn::aravis::watchStreams();
    std::unique_ptr<QynFrameTap> tap(new QynFrameTap(config, std::move(callback)));
    outcome = tap->start();
    if (!outcome.ok())
        tap.reset();
    return tap;
}

QynFrameTap::~QynFrameTap()
{
    if (stream_->pipeline)
        gst_element_set_state(stream_->pipeline.get(), GST_STATE_NULL);
}

QynFrameTap::Outcome QynFrameTap::start()
{
    // A few frames may wait in the sink while the callback runs; none is dropped there.
    const QString description =
        QStringLiteral("%1 ! videoconvert ! %2%3 ! appsink name=%4 sync=false max-buffers=16 drop=false "
                       "enable-last-sample=false")
            .arg(config_.source, config_.nativeSize() ? QString() : QStringLiteral("videoscale ! "),
                 config_.capsText(), QString::fromLatin1(SinkName));
    GError* rawError = nullptr;
    stream_->pipeline = qyn::gst::sunk(gst_parse_launch(description.toUtf8().constData(), &rawError));
    if (rawError) {
        const qyn::gst::ErrorPtr error(rawError);
        stream_->pipeline.reset();
        return {g_error_matches(error.get(), GST_PARSE_ERROR, GST_PARSE_ERROR_NO_SUCH_ELEMENT)
                    ? QynVideoResult::ElementMissing
                    : QynVideoResult::PipelineInvalid,
                QString::fromUtf8(error->message)};
    }
    if (!stream_->pipeline || !GST_IS_BIN(stream_->pipeline.get()))
        return {QynVideoResult::PipelineInvalid, QStringLiteral("the source does not form a pipeline")};
    const qyn::gst::ElementPtr sink(gst_bin_get_by_name(GST_BIN(stream_->pipeline.get()), SinkName));
    if (!sink || !GST_IS_APP_SINK(sink.get()))
        return {QynVideoResult::PipelineInvalid,
                QStringLiteral("the source must not name an element %1").arg(QString::fromLatin1(SinkName))};
    GstAppSinkCallbacks callbacks{};
    callbacks.new_sample = &Stream::onSample;
    gst_app_sink_set_callbacks(GST_APP_SINK(sink.get()), &callbacks, stream_.get(), nullptr);
    qyn::aravis::streamLoopbackCameras(stream_->pipeline.get());
    stream_->reader.countLossOf(qyn::aravis::cameraOf(stream_->pipeline.get()));
    stream_->bus.reset(gst_element_get_bus(stream_->pipeline.get()));
    if (gst_element_set_state(stream_->pipeline.get(), GST_STATE_PLAYING) != GST_STATE_CHANGE_FAILURE) {
        const auto wait = std::min<std::chrono::milliseconds>(QynCapturePipeline::OpenWait,
                                                              std::chrono::milliseconds(config_.timeoutMs));
        if (gst_element_get_state(stream_->pipeline.get(), nullptr, nullptr,
                                  GstClockTime(std::chrono::nanoseconds(wait).count()))
            != GST_STATE_CHANGE_FAILURE) {
            const Outcome now = state();
            return now.code == QynVideoResult::StreamError ? Outcome{QynVideoResult::DeviceFailed, now.text} : now;
        }
    }
    const Outcome failed = state();
    return {QynVideoResult::DeviceFailed, failed.ok() ? QStringLiteral("the pipeline does not start") : failed.text};
}

QynFrameTap::Outcome QynFrameTap::state()
{
    if (!state_.ok() || !stream_->bus)
        return state_;
    if (const qyn::gst::MessagePtr message{
            gst_bus_pop_filtered(stream_->bus.get(), GstMessageType(GST_MESSAGE_ERROR | GST_MESSAGE_EOS))}) {
        state_ = GST_MESSAGE_TYPE(message.get()) == GST_MESSAGE_EOS
            ? Outcome{QynVideoResult::EndOfStream, QStringLiteral("the video source has ended")}
            : Outcome{QynVideoResult::StreamError, qyn::gst::errorText(message.get())};
    }
    return state_;
}

GstFlowReturn QynFrameTap::Stream::onSample(GstAppSink* sink, gpointer self)
{
    const qyn::gst::SamplePtr sample(gst_app_sink_pull_sample(sink));
    if (sample)
        static_cast<Stream*>(self)->deliver(sample.get());
    return GST_FLOW_OK;
}

void QynFrameTap::Stream::deliver(GstSample* sample)
{
    reader.read(gst_sample_get_buffer(sample), gst_sample_get_caps(sample), [this](const Frame& frame) {
        ++*frames;
        callback(frame);
    });
}
