#pragma once

#include "QynFrameListeners.h"
#include "QynFrameReader.h"
#include "QynGst.h"
#include "QynPixelBuffer.h"
#include "QynSourceControls.h"
#include "QynVideoConfig.h"

#include <QString>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

// A running capture pipeline ending in an appsink that keeps one frame. Codes are
// those of QynVideo::Code. Listeners, where given, see every frame on its way into the
// appsink, on the streaming thread, whether or not a Grab waits.
class QynCapturePipeline {
public:
    struct Outcome {
        std::int32_t code = 0;
        QString text;
        bool ok() const { return code == 0; }
    };

    // How long opening waits for the pipeline to start, at most.
    static constexpr std::chrono::milliseconds OpenWait{2000};

    // Builds and starts the pipeline and drops the warm-up frames; null on failure.
    static std::unique_ptr<QynCapturePipeline> open(const QynVideoConfig& config, Outcome& outcome,
                                                    std::shared_ptr<QynFrameListeners> listeners = {});
    ~QynCapturePipeline();
    QynCapturePipeline(const QynCapturePipeline&) = delete;
    QynCapturePipeline& operator=(const QynCapturePipeline&) = delete;

    const QynVideoConfig& config() const { return config_; }
    // The size of the frames: the configured one, or the one the source settled on.
    int width() const { return width_; }
    int height() const { return height_; }
    // The pipeline failed or ended while streaming; only a new one delivers again.
    bool failed();
    // It failed, or its source has ended, even though a last frame may still wait.
    bool stopped();
    // Why it failed; ok while streaming.
    const Outcome& failure() const { return failure_; }
    // Waits for a frame taken after the call began and copies it into frame. A trigger,
    // when given, runs once the frames taken before have been dropped, and the first frame
    // after it is the one taken (a triggered camera sends nothing in between).
    using Trigger = std::function<Outcome()>;
    Outcome grab(std::shared_ptr<QynPixelBuffer>& frame, const Trigger& trigger = {});
    // The controls of the source's camera, over the connection the source holds; null,
    // with the reason in controlsWhy(), for a source without any. They go before the
    // pipeline stops.
    QynCameraControls* controls() const { return controls_.controls.get(); }
    const QString& controlsWhy() const { return controls_.why; }

    std::optional<qint64> runningTimeNow() const;
    std::optional<qint64> lastFrameRunningTime() const { return lastFrameTime_; }

private:
    explicit QynCapturePipeline(const QynVideoConfig& config)
        : config_(config), width_(config.width), height_(config.height)
    {
    }
    Outcome start();
    Outcome settleFormat();
    Outcome buildWithDemosaic(qyn::gst::ElementPtr source, const QString& tail);
    static Outcome parseFailure(GError* raw);
    Outcome openFailure(const Outcome& failed) const;
    Outcome pullFresh(qyn::gst::SamplePtr& sample, const Trigger& trigger = {});
    std::optional<Outcome> busFailure();
    bool isFresh(GstSample* sample, std::optional<qint64> since) const;
    void listen();
    static GstPadProbeReturn onBuffer(GstPad* pad, GstPadProbeInfo* info, gpointer self);
    Outcome copyFrame(GstSample* sample, std::shared_ptr<QynPixelBuffer>& frame) const;

    QynVideoConfig config_;
    int width_;
    int height_;
    bool demosaic_ = false;
    qyn::gst::ElementPtr pipeline_;
    qyn::gst::ElementPtr sinkElement_;
    GstAppSink* sink_ = nullptr;  // borrowed from sinkElement_
    qyn::gst::BusPtr bus_;
    QynSourceControls controls_;
    bool live_ = false;
    bool ended_ = false;  // the end of the stream reached the bus
    Outcome failure_;  // a failure while streaming, answered at once from then on
    std::optional<qint64> lastFrameTime_;
    std::shared_ptr<QynFrameListeners> listeners_;
    QynFrameReader reader_;  // the streaming thread's own
};
