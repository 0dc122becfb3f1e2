#pragma once

#include "QynCameraControls.h"
#include "QynComponent.h"
#include "QynComponentRegistry.h"
#include "QynFrameListeners.h"
#include "QynVideoResult.h"

#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

class QynCapturePipeline;
struct QynVideoConfig;

// Takes camera frames into slots through a GStreamer pipeline that the video
// configuration file describes (docs/cameras.md):
//   <source> ! autoconvert (bayer2rgb for Bayer frames) ! videoconvert ! videoscale
//            ! GRAY8 or BGRx caps ! appsink
// (no videoscale and no size in the caps when the file names no size). A pipeline that
// fails or ends while streaming, as when a camera is unplugged, is built anew by the
// next Grab (or resumeStreaming()), so the camera delivers again once it is back.
// Consumers of every frame (a live view, a recording) register with frameListeners():
// they share the one pipeline, and so the one camera connection, with Grab, and stay
// registered across the pipeline's rebuilds and until they leave.
// Failures never fail the call: they leave a code for GetLastResult and GStreamer's own
// text in lastErrorText(). Only malformed arguments fail the call (and leave BadArgument).
// The camera's controls (controls()) go over the connection the pipeline holds; with
// trigger mode on and source Software, Grab sends the software trigger and takes that
// frame.
class QynVideo final : public QynComponent {
public:
    static constexpr const char* ProgId = "QYNCOMVIDEOLibCtl.QynVideo";
    enum DispId : std::int32_t {
        ConfigFilePath = 1,   // (put string) the configuration file OpenDevice reads
        OpenDevice = 101,     // ()
        CloseDevice = 102,    // () harmless when closed
        PrepareImage = 103,   // (slot) the slot takes the capture format
        GetLastResult = 110,  // (int32& code) result of the last operation
        Grab = 200,           // (slot) a frame taken after the call began
    };
    // Result codes (QynVideoResult: the capture pipeline below reports them too).
    using Code = QynVideoResult::Code;
    using enum QynVideoResult::Code;

    explicit QynVideo(const QynStoredSettings& settings = {});
    ~QynVideo() override;

    QString progId() const override { return QString::fromLatin1(ProgId); }
    QynCallResult invoke(std::int32_t dispId, QynCallKind kind,
                         std::span<const QynVariant> args) noexcept override;
    QynVideo* asVideo() noexcept override { return this; }

    // The operations without the calling convention; each returns and keeps its code.
    void setConfigFilePath(const QString& path);
    std::int32_t openDevice() noexcept;
    std::int32_t closeDevice() noexcept;
    std::int32_t prepareImage(QynImage& slot) noexcept;
    std::int32_t grab(QynImage& slot) noexcept;

    bool isOpen() const { return config_ != nullptr; }
    std::int32_t lastResult() const { return lastResult_; }
    // Why the last operation failed, in GStreamer's or the parser's words; empty on success.
    QString lastErrorText() const { return lastErrorText_; }
    // Every frame of the open device, on the streaming thread (QynFrameListeners).
    QynFrameListeners& frameListeners() { return *listeners_; }
    // Builds anew a pipeline that failed or ended, as the next Grab would, so that the
    // listeners get frames again; leaves GetLastResult's code alone. The code, and the
    // reason in text.
    std::int32_t resumeStreaming(QString* text = nullptr) noexcept;
    // The open device's pipeline runs (it may still wait for its first frame).
    bool streaming() const { return capture_ != nullptr; }

    // Pipeline running time now and of the last frame grabbed, in ns, where known.
    std::optional<qint64> runningTimeNow() const;
    std::optional<qint64> lastFrameRunningTime() const;

    // The open camera's controls over the connection the running pipeline holds; null,
    // with the reason in `why`, when its source has none or nothing runs. They live as
    // long as the pipeline: the function given to onControlsGone runs before they go
    // (a restart, a failed stream rebuilt by Grab, CloseDevice).
    QynCameraControls* controls(QString* why = nullptr);
    void onControlsGone(std::function<void()> gone) { controlsGone_ = std::move(gone); }
    // The source description the capture runs now: the file's, with the values set by
    // restarts since.
    QString source() const;
    // Stops the stream, opens the camera with these values in its source description
    // (a region, a pixel format: what a streaming camera does not take) and starts it
    // again; the next PrepareImage gives the new frame size. On failure the stream runs
    // on as before and the code and text name the value and the reason.
    std::int32_t restartWith(const QynCameraControls::Pending& pending);
    // Trigger mode on, with source Software: each Grab sends one trigger.
    bool softwareTriggered() const { return softwareTrigger_; }
    // Takes a change of the trigger settings: a camera waiting for software triggers
    // streams at the lowest frame rate it takes (aravissrc ends a stream without a frame
    // for three frame periods, 2 s at least), and gets its own rate back when the trigger
    // mode ends. Restarts the stream when that changes.
    std::int32_t followTrigger();

private:
    std::int32_t finish(std::int32_t code, const QString& text = {});
    void releaseInBackground();
    void finishReleasing();
    // Grab leaves a pipeline whose source ended until the last frame is gone.
    std::int32_t rebuildIfFailed(QString& text, bool evenEnded);
    // Opens a pipeline for config; the code, and the reason in text.
    std::int32_t openCapture(const QynVideoConfig& config, QString& text);
    // The source description with these values set on the open camera, and "Name=value ..."
    // of them in what; empty with the reason in problem.
    QString sourceWith(const QynCameraControls::Pending& pending, QString& what, QString& problem);
    // restartWith, trying again until `until` has passed (without the previous stream
    // between the tries) before the previous one runs again.
    std::int32_t restartTrying(const QynCameraControls::Pending& pending, std::chrono::steady_clock::time_point until);
    // Stops the stream and starts this source.
    std::int32_t restartAs(const QString& source, const QString& what);
    void dropControls();
    bool readSoftwareTrigger();
    QString frameRateName();

    QString configPath_;
    std::unique_ptr<QynVideoConfig> config_;       // of the open device
    std::unique_ptr<QynCapturePipeline> capture_;  // null while a failed pipeline waits to be rebuilt
    std::function<void()> controlsGone_;
    bool softwareTrigger_ = false;
    QString rateBeforeTrigger_;                    // the frame rate a software trigger mode replaced
    double armedRate_ = 0.1;                       // the frame rate while a software trigger is armed
    int width_ = 0;                                // the size of the frames, as last known
    int height_ = 0;
    std::vector<std::thread> releasing_;           // failed pipelines stopping meanwhile
    std::shared_ptr<QynFrameListeners> listeners_ = std::make_shared<QynFrameListeners>();
    std::int32_t lastResult_ = Success;
    QString lastErrorText_;
};
