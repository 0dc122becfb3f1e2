// A GigE Vision camera over the real protocol: Aravis's simulated camera on the loopback
// interface, grabbed through aravissrc as an operator's configuration names it. The
// simulated camera's Mono8 frames are a diagonal ramp (each pixel one level above its
// left and upper neighbours, 254 wrapping to 0) that moves from frame to frame; without a pixel
// format it sends Bayer frames.
#include "FakeGigECamera.h"
#include "MainWindowHarness.h"
#include "QynCalls.h"
#include "QynFrameListeners.h"
#include "QynGst.h"
#include "QynImage.h"
#include "QynLiveView.h"
#include "QynVideo.h"
#include "SignalClose.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstring>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include <unistd.h>

namespace {

class CameraTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (const QString why = FakeGigECamera::missing(); !why.isEmpty())
            GTEST_SKIP() << "no simulated GigE Vision camera: " << why.toStdString();
        ASSERT_TRUE(FakeGigECamera::rawNetworkDropped());
        ASSERT_TRUE(camera_.start()) << "the simulated camera did not answer at " << camera_.name().toStdString();
    }

    // Opens a configuration whose source is aravissrc for the simulated camera; size 0
    // leaves width and height out.
    std::int32_t open(const QString& rest, const char* format, int width = 0, int height = 0, int timeoutMs = 3000)
    {
        QString text = QStringLiteral("[video]\nsource = aravissrc camera-name=%1 %2\nformat = %3\ntimeout_ms = %4\n")
                           .arg(camera_.name(), rest, QString::fromLatin1(format))
                           .arg(timeoutMs);
        if (width)
            text += QStringLiteral("width = %1\nheight = %2\n").arg(width).arg(height);
        const QString path = dir_.filePath(QStringLiteral("camera.ini"));
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(text.toUtf8());
        file.close();
        video_.setConfigFilePath(path);
        return video_.openDevice();
    }
    std::int32_t grab(QynImage& slot)
    {
        EXPECT_EQ(video_.prepareImage(slot), 0);
        return video_.grab(slot);
    }

    QTemporaryDir dir_;
    FakeGigECamera camera_;
    QynVideo video_;
};

// The ramp holds at every pixel of a gray frame; returns the first pixel's level.
int checkRamp(const QynPixelBuffer& frame)
{
    for (int y = 0; y < frame.height(); ++y)
        for (int x = 0; x < frame.width(); ++x) {
            const int level = frame.row(y)[x];
            if (x > 0 && level != (frame.row(y)[x - 1] + 1) % 255) {
                ADD_FAILURE() << "left neighbour at " << x << "," << y;
                return -1;
            }
            if (y > 0 && level != (frame.row(y - 1)[x] + 1) % 255) {
                ADD_FAILURE() << "upper neighbour at " << x << "," << y;
                return -1;
            }
        }
    return frame.row(0)[0];
}

}  // namespace

// Guards against frames that are stale, scaled, mis-sized or not the camera's: Mono8 lands
// as the ramp at the camera's own size or the region the caps ask for, Bayer frames are
// demosaiced into real colour, and two grabs give two different frames. On loopback the
// packets take the camera's largest size unless the description names one, and the
// frames still arrive whole.
TEST_F(CameraTest, GrabsGrayAndBayerFramesAtTheCamerasOwnSize)
{
    struct Case {
        QString rest;
        const char* format;
        int width, height;
        qint64 packetSize;  // 0: the largest the camera takes
    };
    const Case cases[] = {
        {"! video/x-raw,format=GRAY8", "gray8", FakeGigECamera::Width, FakeGigECamera::Height, 0},
        {"offset-x=16 offset-y=8 ! video/x-raw,format=GRAY8,width=64,height=32", "gray8", 64, 32, 0},
        {"! video/x-bayer,format=bggr,width=128,height=96", "colour", 128, 96, 0},
        {"! video/x-bayer,format=rggb,width=96,height=64", "gray8", 96, 64, 0},
        {"packet-size=1400 ! video/x-raw,format=GRAY8,width=128,height=96", "gray8", 128, 96, 1400},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rest.toStdString());
        ASSERT_EQ(open(c.rest, c.format), 0) << video_.lastErrorText().toStdString();
        const QynCameraControl packets = video_.controls()->read(QStringLiteral("GevSCPSPacketSize"));
        EXPECT_EQ(packets.value.toLongLong(), c.packetSize ? c.packetSize : packets.intMax);
        QynImage first, second;
        ASSERT_EQ(grab(first), 0) << video_.lastErrorText().toStdString();
        ASSERT_EQ(grab(second), 0) << video_.lastErrorText().toStdString();
        EXPECT_EQ(first.width(), c.width);
        EXPECT_EQ(first.height(), c.height);
        const QynPixelBuffer& a = *first.pixels();
        const QynPixelBuffer& b = *second.pixels();
        if (c.rest.contains("GRAY8")) {
            EXPECT_NE(checkRamp(a), checkRamp(b));
        } else if (a.format() == QynPixelFormat::Color32) {  // demosaiced: colour, X = 0
            int coloured = 0;
            for (int y = 0; y < a.height(); ++y)
                for (int x = 0; x < a.width(); ++x) {
                    const std::uint8_t* p = a.row(y) + 4 * x;
                    coloured += p[0] != p[1] || p[1] != p[2];
                    ASSERT_EQ(p[3], 0);
                }
            EXPECT_GT(coloured, a.width() * a.height() / 4);
        }
        EXPECT_NE(std::memcmp(a.data(), b.data(), a.stride() * std::size_t(a.height())), 0);
    }
}

// Guards against errors that the operator cannot act on: an unknown camera and a pixel
// format the camera does not have each leave their own code and GStreamer's text.
TEST_F(CameraTest, UnknownCameraAndMissingPixelFormatHaveTheirCodes)
{
    video_.setConfigFilePath({});
    QFile file(dir_.filePath("other.ini"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[video]\nsource = aravissrc camera-name=Nobody-Here\nformat = gray8\n");
    file.close();
    video_.setConfigFilePath(file.fileName());
    EXPECT_EQ(video_.openDevice(), QynVideo::DeviceFailed);
    EXPECT_TRUE(video_.lastErrorText().contains("Nobody-Here")) << video_.lastErrorText().toStdString();

    EXPECT_EQ(open("features=\"PixelFormat=Mono12\"", "gray8"), QynVideo::FormatNotOffered)
        << video_.lastErrorText().toStdString();
    EXPECT_EQ(open("! video/x-raw,format=I420", "gray8"), QynVideo::FormatNotOffered)
        << video_.lastErrorText().toStdString();
}

// Guards against a lost camera hanging Grab, wiping the slot, or needing a restart of the
// program: with the camera gone Grab fails within its timeout and the slot keeps its
// frame; once the camera is back a later Grab delivers again.
TEST_F(CameraTest, ACameraThatGoesAwayAndComesBackDeliversAgain)
{
    constexpr int TimeoutMs = 2000;
    ASSERT_EQ(open("! video/x-raw,format=GRAY8", "gray8", 0, 0, TimeoutMs), 0) << video_.lastErrorText().toStdString();
    QynImage slot;
    ASSERT_EQ(grab(slot), 0);
    const QynPixelBuffer* kept = slot.pixels();
    camera_.stop();
    QThread::msleep(300);  // frames already on their way still land
    for (int i = 0; i < 3; ++i) {
        QElapsedTimer timer;
        timer.start();
        EXPECT_NE(grab(slot), 0);
        // A Grab that builds the pipeline anew may wait for the opening too: a camera
        // addressed by its address that does not answer costs two unanswered requests
        // (2.5 s each) before the opening gives up.
        EXPECT_LT(timer.elapsed(), TimeoutMs + 2 * 2500 + 1000);
        EXPECT_EQ(slot.pixels(), kept);
    }
    ASSERT_TRUE(camera_.start());
    std::int32_t code = -1;
    for (int i = 0; i < 10 && code != 0; ++i)
        code = grab(slot);
    EXPECT_EQ(code, 0) << video_.lastErrorText().toStdString();
    EXPECT_NE(slot.pixels(), kept);
    EXPECT_EQ(video_.closeDevice(), 0);
}

// Guards against shipped camera samples that do not run as written: each opens the
// simulated camera with only the camera's name changed and fills a slot of its kind.
TEST_F(CameraTest, TheShippedSamplesGrabWithOnlyTheNameChanged)
{
    const std::pair<const char*, const char*> samples[] = {
        {"gige-camera.ini", "\"Maker-Model-SerialNumber\""},
        {"fake-camera-gray.ini", "Aravis-Fake-QYNSAMPLE"},
        {"fake-camera-colour.ini", "Aravis-Fake-QYNSAMPLE"},
    };
    for (const auto& [name, placeholder] : samples) {
        SCOPED_TRACE(name);
        QFile sample(QStringLiteral(QYN_SOURCE_DIR "/config/video/") + QString::fromLatin1(name));
        ASSERT_TRUE(sample.open(QIODevice::ReadOnly));
        QString text = QString::fromUtf8(sample.readAll());
        ASSERT_TRUE(text.contains(QString::fromLatin1(placeholder)));
        text.replace(QString::fromLatin1(placeholder), camera_.name());
        QFile copy(dir_.filePath(QString::fromLatin1(name)));
        ASSERT_TRUE(copy.open(QIODevice::WriteOnly));
        copy.write(text.toUtf8());
        copy.close();
        video_.setConfigFilePath(copy.fileName());
        ASSERT_EQ(video_.openDevice(), 0) << video_.lastErrorText().toStdString();
        QynImage slot;
        ASSERT_EQ(grab(slot), 0) << video_.lastErrorText().toStdString();
        EXPECT_EQ(slot.width(), FakeGigECamera::Width);
        EXPECT_EQ(slot.imageType(),
                  text.contains("format = colour") ? QynImage::TypeColor : QynImage::TypeGray);
    }
}

// Guards against a camera that another program controls failing at once, or the wait for
// it hanging: opening waits for the camera to become free and opens once the other lets
// go; while it keeps the camera, opening fails within a few seconds and says why.
TEST_F(CameraTest, OpeningWaitsForACameraAnotherProgramControls)
{
    ASSERT_EQ(open("! video/x-raw,format=GRAY8", "gray8"), 0) << video_.lastErrorText().toStdString();
    const QString path = dir_.filePath(QStringLiteral("camera.ini"));
    struct Case {
        const char* what;
        int letGoAfterMs;  // -1: never
        std::int32_t expected;
    };
    const Case cases[] = {
        {"kept", -1, QynVideo::DeviceFailed},
        {"let go after aravissrc asked for control", 3000, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::thread other;
        if (c.letGoAfterMs >= 0)
            other = std::thread([&] {
                QThread::msleep(c.letGoAfterMs);
                video_.closeDevice();
            });
        QynVideo second;
        second.setConfigFilePath(path);
        QElapsedTimer timer;
        timer.start();
        const std::int32_t code = second.openDevice();
        const qint64 elapsed = timer.elapsed();
        if (other.joinable())
            other.join();
        EXPECT_EQ(code, c.expected) << second.lastErrorText().toStdString();
        if (code == QynVideo::DeviceFailed) {
            EXPECT_TRUE(second.lastErrorText().contains("another program controls the camera"))
                << second.lastErrorText().toStdString();
            // The camera's heartbeat timeout (3 s) at least; at most that, one more request
            // for control and the connection's release, each a write that the simulated
            // camera leaves unanswered (2.5 s).
            EXPECT_GE(elapsed, 3000);
            EXPECT_LT(elapsed, 3000 + 2 * 2500 + 2000);
        } else {
            QynImage slot;
            EXPECT_EQ(second.prepareImage(slot), 0);
            EXPECT_EQ(second.grab(slot), 0) << second.lastErrorText().toStdString();
        }
    }
}

// Guards against a program ended by a signal leaving its camera controlled until the
// camera's heartbeat lapses: SIGTERM closes the main window as the operator would, its
// unload handler closes the device, and the next opening gets the camera at once.
TEST_F(CameraTest, ASignalClosesTheWindowAndReleasesTheCamera)
{
    const QString path = dir_.filePath(QStringLiteral("start.ini"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QStringLiteral("[video]\nsource = aravissrc camera-name=%1 ! video/x-raw,format=GRAY8\nformat = gray8\n")
                   .arg(camera_.name())
                   .toUtf8());
    file.close();
    MainWindowHarness harness;
    harness.start(path);
    frmMain& window = harness.window();
    ASSERT_TRUE(window.blnVideoInUse()) << (harness.messages.empty() ? "" : harness.messages[0].prompt.toStdString());
    {
        SignalClose signalClose(window);
        ::kill(::getpid(), SIGTERM);
        for (const QDeadlineTimer deadline(5000); window.isVisible() && !deadline.hasExpired();)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        EXPECT_FALSE(window.isVisible());
        EXPECT_TRUE(signalClose.ending());
    }
    EXPECT_EQ(callsOf(*harness.log, "QynVideo1").count("QynVideo1 call 102()"), 1);
    QElapsedTimer timer;
    timer.start();
    video_.setConfigFilePath(path);
    EXPECT_EQ(video_.openDevice(), 0) << video_.lastErrorText().toStdString();
    EXPECT_LT(timer.elapsed(), 2000);  // a controlled camera keeps it waiting 3 s at least
}

// Guards against frames larger than the system's default socket buffer getting lost (a
// 512 x 512 frame overflows Debian's 208 KiB), a live view that falls behind the camera,
// repeats frames or miscounts lost ones, and one that does not come back by itself after
// the camera went away and returned.
TEST_F(CameraTest, LiveViewKeepsUpWithLargeFramesAndResumesWhenTheCameraReturns)
{
    // Set beforehand, as an operator's camera keeps its settings: 256 KiB frames.
    QProcess control;
    control.start(QStringLiteral("arv-tool-0.8"), {"-n", camera_.name(), "control", "Width=512", "Height=512"});
    ASSERT_TRUE(control.waitForFinished(5000) && control.exitCode() == 0);
    ASSERT_EQ(open("! video/x-raw,format=GRAY8", "gray8"), 0) << video_.lastErrorText().toStdString();
    QynLiveView live(video_);
    live.start();
    std::vector<int> firsts;
    const auto until = QynLiveView::Clock::now() + std::chrono::seconds(3);
    while (QynLiveView::Clock::now() < until) {
        QThread::msleep(16);  // a display at 60 frames a second
        if (const auto frame = live.take()) {
            EXPECT_EQ(frame->pixels->width(), 512);
            firsts.push_back(checkRamp(*frame->pixels));
            live.drawn(*frame);
        }
    }
    const QynLiveView::Status status = live.status();
    EXPECT_GE(status.frames, 70u);  // of 75, the first ones while the stream starts
    // A machine loaded by other work may drop a frame or two; with the system's default
    // socket buffer most of them go.
    EXPECT_LE(status.lost, 3u);
    EXPECT_NEAR(status.cameraRate, 25.0, 3.0);
    EXPECT_GE(firsts.size(), 65u);
    for (std::size_t i = 1; i < firsts.size(); ++i)
        EXPECT_NE(firsts[i], firsts[i - 1]) << "frame " << i << " shown twice";

    camera_.stop();
    const auto lostBy = QynLiveView::Clock::now() + live.lostAfter() + std::chrono::seconds(2);
    while (!live.cameraLost() && QynLiveView::Clock::now() < lostBy)
        QThread::msleep(50);
    EXPECT_TRUE(live.cameraLost());
    EXPECT_TRUE(QynLiveView::statusText(live.status(), live.lostAfter()).startsWith("Live: no frame from the camera"));
    ASSERT_TRUE(camera_.start());
    const std::uint64_t before = live.status().frames;
    const auto backBy = QynLiveView::Clock::now() + std::chrono::seconds(30);
    while (live.status().frames < before + 10 && QynLiveView::Clock::now() < backBy) {
        live.tend();
        QThread::msleep(50);
    }
    EXPECT_GE(live.status().frames, before + 10);
    EXPECT_FALSE(live.cameraLost());
}

// The frames counted as lost are the camera's frames the stream missed, no more and no
// fewer: a consumer that holds the streaming thread for a second at 100 frames a second
// leaves the stream without free buffers, and the lost count matches the gaps in the
// frame numbers the simulated camera draws into its ramp. (Gaps in the time stamps
// would also count the periods the simulated camera itself skips when it falls behind.)
// Each frame is numbered by its block id, the number the camera's ramp starts from.
TEST_F(CameraTest, LostFramesAreTheCamerasFramesTheStreamMissed)
{
    ASSERT_EQ(open("! video/x-raw,format=GRAY8,framerate=100/1", "gray8"), 0) << video_.lastErrorText().toStdString();
    std::mutex lock;
    struct Seen {
        int first;  // the ramp's first pixel
        std::uint64_t lostBefore;
        std::optional<std::uint64_t> number;
    };
    std::vector<Seen> seen;
    std::atomic<bool> stall{false};
    std::size_t stalledAt = 0;
    const auto id = video_.frameListeners().add([&](const QynFrameTap::Frame& frame) {
        {
            const std::lock_guard<std::mutex> guard(lock);
            seen.push_back({frame.data[0], frame.lostBefore, frame.number});
        }
        if (stall.exchange(false)) {
            stalledAt = seen.size();
            QThread::msleep(1000);
        }
    });
    QThread::msleep(500);
    stall = true;
    QThread::msleep(2000);
    video_.frameListeners().remove(id);
    ASSERT_GE(seen.size(), 100u);
    std::uint64_t gaps = 0, counted = 0;
    for (std::size_t i = 1; i < seen.size(); ++i) {
        gaps += std::uint64_t((seen[i].first - seen[i - 1].first + 255) % 255) - 1;
        counted += seen[i].lostBefore;
    }
    EXPECT_GT(gaps, 10u) << "the stall lost no frames";
    EXPECT_EQ(counted, gaps);
    // The first frame may come a moment before the stream has told its block id. After
    // the stall aravissrc has no free buffer to spare: it gives each one back to the
    // stream as soon as it has sent its frame on, and the stream may fill it again while
    // the frame is read, so pixels and number are compared before it only.
    ASSERT_GE(stalledAt, 20u);
    for (std::size_t i = 1; i < stalledAt; ++i) {
        ASSERT_TRUE(seen[i].number.has_value()) << "frame " << i << " of " << seen.size();
        EXPECT_EQ(*seen[i].number % 255, std::uint64_t(seen[i].first)) << "block id " << *seen[i].number;
    }
}
