#pragma once

#include "QynComponent.h"
#include "QynComponentRegistry.h"

#include <QString>

#include <memory>
#include <optional>

class QynCapturePipeline;

// Takes camera frames into slots through a GStreamer pipeline that the video
// configuration file describes (README, "Video configuration files"):
//   <source> ! videoconvert ! videoscale ! GRAY8 or BGRx caps ! appsink
// Failures never fail the call: they leave a code for GetLastResult and GStreamer's own
// text in lastErrorText(). Only malformed arguments fail the call (and leave BadArgument).
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
    enum Code : std::int32_t {
        Success = 0,
        ConfigFileMissing = 3001,  // no path, no such file, not a file, unreadable or too large
        ConfigInvalid = 3002,      // a required key missing, a bad value, an unknown key, a bad line
        PipelineInvalid = 3003,    // the source description does not parse or names a missing element
        DeviceFailed = 3004,       // the device does not exist, is busy or does not start
        NotOpen = 3005,            // PrepareImage or Grab without an open device
        Timeout = 3006,            // no frame within timeout_ms
        EndOfStream = 3007,        // the source has ended; every later Grab says so at once
        StreamError = 3008,        // the pipeline failed while streaming; every later Grab says so at once
        BadFrame = 3009,           // a frame of another size or format than asked for
        OutOfMemory = 3010,        // no memory for the frame; the slot keeps what it held
        BadArgument = 3011,        // wrong argument count or type, or a null slot
    };

    explicit QynVideo(const QynStoredSettings& settings = {});
    ~QynVideo() override;

    QString progId() const override { return QString::fromLatin1(ProgId); }
    QynCallResult invoke(std::int32_t dispId, QynCallKind kind,
                         std::span<const QynVariant> args) noexcept override;

    // The operations without the calling convention; each returns and keeps its code.
    void setConfigFilePath(const QString& path);
    std::int32_t openDevice() noexcept;
    std::int32_t closeDevice() noexcept;
    std::int32_t prepareImage(QynImage& slot) noexcept;
    std::int32_t grab(QynImage& slot) noexcept;

    bool isOpen() const { return capture_ != nullptr; }
    std::int32_t lastResult() const { return lastResult_; }
    // Why the last operation failed, in GStreamer's or the parser's words; empty on success.
    QString lastErrorText() const { return lastErrorText_; }
    // Pipeline running time now and of the last frame grabbed, in ns, where known.
    std::optional<qint64> runningTimeNow() const;
    std::optional<qint64> lastFrameRunningTime() const;

private:
    std::int32_t finish(std::int32_t code, const QString& text = {});

    QString configPath_;
    std::unique_ptr<QynCapturePipeline> capture_;
    std::int32_t lastResult_ = Success;
    QString lastErrorText_;
};
