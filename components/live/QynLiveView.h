#pragma once

#include "QynPixelBuffer.h"
#include "QynRateMeter.h"
#include "QynVideo.h"

#include <QString>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

// The newest frame of an open camera for a display that draws at its own pace. On the
// streaming thread each frame is copied into a buffer of the view's own and replaces the
// one not yet taken (a mailbox of one): the camera never waits for the screen, and a slow
// display skips frames, never the camera. The display takes the newest frame when it is
// ready to draw, and says when it has drawn it; the buffers go round, so streaming
// allocates nothing once running. Meters: the camera's rate, the displayed rate, frames
// lost (QynFrameTap::Frame::lostBefore) and how long the camera has been silent. A camera
// silent for longer than the lost time counts as lost: tend() then rebuilds the video's
// pipeline now and then, as a Grab would, so that the view resumes once it is back.
class QynLiveView {
public:
    using Clock = std::chrono::steady_clock;

    struct Taken {
        std::shared_ptr<const QynPixelBuffer> pixels;
        std::uint64_t sequence = 0;           // counts the frames received, from 1
        std::optional<std::uint64_t> number;  // the camera's own, where it has one
        Clock::time_point arrived;            // when the frame reached the view
    };
    struct Status {
        std::uint64_t frames = 0;  // received since start()
        std::uint64_t lost = 0;    // missing between them
        double cameraRate = 0.0;   // frames a second
        double shownRate = 0.0;    // drawn a second
        int width = 0;             // of the last frame; 0 before the first
        int height = 0;
        QynPixelFormat format = QynPixelFormat::Gray8;
        std::optional<Clock::duration> silentFor;  // since the last frame (or start())
    };

    // waiting runs on the streaming thread whenever a frame lands in an empty mailbox,
    // so that the display can ask for it; it must be quick and must not call back.
    explicit QynLiveView(QynVideo& video, std::function<void()> waiting = {});
    ~QynLiveView();  // stops
    QynLiveView(const QynLiveView&) = delete;
    QynLiveView& operator=(const QynLiveView&) = delete;

    // Starts taking frames afresh (meters cleared); stop() returns once no frame is being
    // taken in any more.
    void start();
    void stop();
    bool running() const { return id_.has_value(); }

    // The newest frame not yet taken, or none.
    std::optional<Taken> take();
    // The display drew this frame: counts towards the displayed rate.
    void drawn(const Taken& frame, Clock::time_point at = Clock::now());
    Status status(Clock::time_point now = Clock::now()) const;

    // How long the camera may stay silent before it counts as lost.
    void setLostAfter(Clock::duration after) { lostAfter_ = after; }
    Clock::duration lostAfter() const { return lostAfter_; }
    bool cameraLost(Clock::time_point now = Clock::now()) const;
    // Call now and then while running: rebuilds the pipeline of a lost camera, at most
    // once a lost time. It may block as long as opening the camera does.
    void tend(Clock::time_point now = Clock::now());

    // "camera 100.0 fps, shown 60.0 fps, 0 lost, 512 x 512 gray", or, once the camera
    // has been silent for longer than `lostAfter`, that it waits for it.
    static QString statusText(const Status& status, Clock::duration lostAfter);

private:
    struct Shared;  // what the streaming thread and the buffers in use share
    void receive(const QynFrameTap::Frame& frame);

    QynVideo& video_;
    std::function<void()> waiting_;
    Clock::duration lostAfter_ = std::chrono::seconds(2);
    Clock::time_point lastTry_;
    std::shared_ptr<Shared> shared_;
    std::optional<QynFrameListeners::Id> id_;
};
