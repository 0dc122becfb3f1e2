#pragma once

#include "QynPixelBuffer.h"
#include "QynVideoConfig.h"

#include <QString>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

// Every frame of a video configuration's source, handed to a callback on the streaming
// thread as it arrives: for a consumer that must see each frame (a recording) where no
// Grab shares the camera, as on the command line. The pipeline is
//   <source> ! videoconvert [! videoscale] ! GRAY8 or BGRx caps ! appsink
// without the Grab path's demosaicing (a Bayer camera needs a source that converts).
// The callback must be quick: the source waits for it.
class QynFrameTap {
public:
    struct Frame {
        const std::uint8_t* data = nullptr;
        std::ptrdiff_t stride = 0;
        int width = 0;
        int height = 0;
        QynPixelFormat format = QynPixelFormat::Gray8;  // colour: B, G, R, X bytes
        std::optional<std::uint64_t> number;       // the buffer's offset, where the source sets one
        std::optional<std::int64_t> timestampNs;   // the buffer's time stamp
        std::uint64_t lostBefore = 0;              // frames missing since the one before (QynFrameReader)
    };
    using Callback = std::function<void(const Frame&)>;
    // Codes are those of QynVideo::Code.
    struct Outcome {
        std::int32_t code = 0;
        QString text;
        bool ok() const { return code == 0; }
    };

    // Builds and starts the pipeline; null with the reason on failure.
    static std::unique_ptr<QynFrameTap> open(const QynVideoConfig& config, Callback callback, Outcome& outcome);
    ~QynFrameTap();  // stops the pipeline: no callback runs after it
    QynFrameTap(const QynFrameTap&) = delete;
    QynFrameTap& operator=(const QynFrameTap&) = delete;

    // Ok while streaming; the failure or the end of the stream once one came.
    Outcome state();
    std::uint64_t frames() const { return frames_; }

private:
    struct Stream;  // the GStreamer side

    QynFrameTap(const QynVideoConfig& config, Callback callback);
    Outcome start();

    QynVideoConfig config_;
    std::unique_ptr<Stream> stream_;
    Outcome state_;
    std::atomic<std::uint64_t> frames_{0};
};
