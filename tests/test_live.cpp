// The live view without a window: the newest camera frame for a display that draws at
// its own pace, and its meters. videotestsrc is the camera, at a known rate, with frame
// numbers; a slow display is a loop that takes a frame now and then.
#include "QynImage.h"
#include "QynLiveView.h"
#include "QynVideo.h"

#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <set>

namespace {

using Clock = QynLiveView::Clock;

class LiveViewTest : public ::testing::Test {
protected:
    std::int32_t open(const QString& source, int width = 64, int height = 48)
    {
        const QString path = dir_.filePath(QStringLiteral("live.ini"));
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(QStringLiteral("[video]\nsource = %1\nwidth = %2\nheight = %3\nformat = gray8\ntimeout_ms = 2000\n")
                       .arg(source)
                       .arg(width)
                       .arg(height)
                       .toUtf8());
        file.close();
        video_.setConfigFilePath(path);
        return video_.openDevice();
    }

    QTemporaryDir dir_;
    QynVideo video_;
};

}  // namespace

// Guards against a display that makes the camera wait or lose frames, frames taken out
// of order or twice, meters that do not tell the camera's rate from the display's, lost
// frames that go uncounted or are made up, a live view that stops Grab (or stops for
// it), buffers allocated per frame, and frames still coming after stop().
TEST_F(LiveViewTest, ASlowDisplayGetsTheNewestFramesWhileTheCameraLosesNothing)
{
    struct Case {
        const char* name;
        const char* dropping;  // frames a slow element upstream drops: the camera "loses" them
        bool loses;
    };
    for (const Case& c : {Case{"every frame", "", false},
                          Case{"a third dropped", " ! identity drop-probability=0.3", true}}) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(open(QStringLiteral("videotestsrc is-live=true pattern=ball ! video/x-raw,framerate=100/1%1")
                           .arg(QString::fromLatin1(c.dropping))),
                  0)
            << video_.lastErrorText().toStdString();
        std::atomic<int> waiting{0};
        QynLiveView live(video_, [&] { ++waiting; });
        live.start();
        std::uint64_t lastSequence = 0;
        std::optional<std::uint64_t> firstNumber;
        std::optional<std::uint64_t> lastNumber;
        std::set<const QynPixelBuffer*> buffers;
        std::shared_ptr<const QynPixelBuffer> shownBefore;
        int taken = 0;
        bool differed = false;
        const auto until = Clock::now() + std::chrono::milliseconds(1500);
        while (Clock::now() < until) {
            QThread::msleep(50);  // a display at 20 frames a second
            if (taken == 10) {    // Grab in the middle of it: a fresh frame, live goes on
                QynImage slot;
                EXPECT_EQ(video_.prepareImage(slot), 0);
                EXPECT_EQ(video_.grab(slot), 0) << video_.lastErrorText().toStdString();
            }
            std::optional<QynLiveView::Taken> frame = live.take();
            if (!frame)
                continue;
            ++taken;
            EXPECT_GT(frame->sequence, lastSequence + 1);  // the newest, frames between skipped
            lastSequence = frame->sequence;
            ASSERT_TRUE(frame->number.has_value());
            EXPECT_TRUE(!lastNumber || *frame->number > *lastNumber);
            if (!firstNumber)
                firstNumber = frame->number;
            lastNumber = frame->number;
            buffers.insert(frame->pixels.get());
            if (shownBefore)
                differed = differed
                    || std::memcmp(shownBefore->data(), frame->pixels->data(), frame->pixels->byteCount()) != 0;
            live.drawn(*frame);
            shownBefore = frame->pixels;  // held as a display holds it
        }
        const QynLiveView::Status status = live.status();
        EXPECT_GE(taken, 20);
        EXPECT_TRUE(differed);
        EXPECT_LE(buffers.size(), 4u);
        EXPECT_GE(waiting.load(), taken);
        EXPECT_NEAR(status.shownRate, 20.0, 4.0);
        const double delivered = c.loses ? 70.0 : 100.0;
        EXPECT_NEAR(status.cameraRate, delivered, delivered * 0.25);
        EXPECT_EQ(status.width, 64);
        EXPECT_EQ(status.height, 48);
        EXPECT_EQ(status.format, QynPixelFormat::Gray8);
        EXPECT_EQ(status.lost > 0, c.loses);
        EXPECT_FALSE(live.cameraLost());
        EXPECT_TRUE(QynLiveView::statusText(status, live.lostAfter()).startsWith(QStringLiteral("Live: camera ")));
        live.stop();
        const std::uint64_t frames = live.status().frames;
        live.take();  // the one that may have come before stop()
        QThread::msleep(100);
        EXPECT_EQ(live.status().frames, frames);
        EXPECT_FALSE(live.take().has_value());
        EXPECT_EQ(video_.closeDevice(), 0);
    }
}

// Guards against a silent camera that the status does not report, or a view that does
// not resume once the source delivers again without the operator's help.
TEST_F(LiveViewTest, ACameraThatFallsSilentIsReportedAndTheViewResumesOnItsOwn)
{
    // The source ends after half a second, as a camera that goes away; rebuilt, it
    // delivers again.
    ASSERT_EQ(open(QStringLiteral("videotestsrc is-live=true num-buffers=25 ! video/x-raw,framerate=50/1")), 0);
    QynLiveView live(video_);
    live.setLostAfter(std::chrono::milliseconds(300));
    live.start();
    bool reported = false;
    std::uint64_t framesWhenLost = 0;
    const auto until = Clock::now() + std::chrono::seconds(3);
    while (Clock::now() < until && !(reported && live.status().frames > framesWhenLost + 5)) {
        QThread::msleep(20);
        live.take();
        if (!reported && live.cameraLost()) {
            reported = true;
            framesWhenLost = live.status().frames;
            EXPECT_TRUE(QynLiveView::statusText(live.status(), live.lostAfter())
                            .startsWith(QStringLiteral("Live: no frame from the camera")));
        }
        live.tend();
    }
    EXPECT_TRUE(reported);
    EXPECT_GT(live.status().frames, framesWhenLost + 5);
    EXPECT_FALSE(live.cameraLost());
}
