// Camera capture: the configuration file, opening and its failure codes, frames that
// land in slots with the right pixels, and sources that end, fail or fall silent.
// videotestsrc is the camera; no test needs hardware.
#include "CaseName.h"
#include "QynCalls.h"
#include "QynImage.h"
#include "QynVideo.h"
#include "QynVideoConfig.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include <unistd.h>

namespace {

// A live pattern source at a known frame rate; extra is appended to videotestsrc.
QString liveSource(const QString& extra, int fps = 30)
{
    return QStringLiteral("videotestsrc is-live=true %1 ! video/x-raw,framerate=%2/1").arg(extra).arg(fps);
}

QString iniText(const QString& source, int width, int height, const char* format,
                int timeoutMs = 2000, int warmup = 0)
{
    return QStringLiteral("[video]\nsource = %1\nwidth = %2\nheight = %3\nformat = %4\n"
                          "timeout_ms = %5\nwarmup_frames = %6\n")
        .arg(source)
        .arg(width)
        .arg(height)
        .arg(QString::fromLatin1(format))
        .arg(timeoutMs)
        .arg(warmup);
}

class VideoTest : public ::testing::Test {
protected:
    // Writes the configuration, points the component at it and opens it.
    std::int32_t open(const QString& text)
    {
        const QString path = dir_.filePath(QStringLiteral("video%1.ini").arg(++files_));
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text.toUtf8());
        file.close();
        EXPECT_EQ(qyn::put(video_, QynVideo::ConfigFilePath, path), QynStatus::Ok);
        EXPECT_EQ(qyn::call(video_, QynVideo::OpenDevice), QynStatus::Ok);
        return result();
    }
    std::int32_t result()
    {
        std::int32_t code = -1;
        EXPECT_EQ(qyn::call(video_, QynVideo::GetLastResult, {&code}), QynStatus::Ok);
        return code;
    }
    // PrepareImage then Grab, as the grab buttons do; neither may fail the call.
    std::int32_t prepareAndGrab(QynImage& slot)
    {
        EXPECT_EQ(qyn::call(video_, QynVideo::PrepareImage, {&slot}), QynStatus::Ok);
        EXPECT_EQ(result(), 0);
        EXPECT_EQ(qyn::call(video_, QynVideo::Grab, {&slot}), QynStatus::Ok);
        return result();
    }

    QTemporaryDir dir_;
    int files_ = 0;
    QynVideo video_;
};

struct MalformedConfig {
    const char* name;
    std::string text;
};

// A configuration of that width, and extra lines after the keys it needs.
std::string withWidth(const std::string& width, const std::string& extra = {})
{
    return "[video]\nsource=x\nwidth=" + width + "\nheight=480\nformat=gray8\n" + extra;
}

std::vector<MalformedConfig> malformedConfigs()
{
    return {
        {"no section", "source=x\nwidth=1\nheight=1\nformat=gray8\n"},
        {"no source", "[video]\nwidth=1\nheight=1\nformat=gray8\n"},
        {"no height", "[video]\nsource=x\nwidth=1\nformat=gray8\n"},
        {"no format", "[video]\nsource=x\nwidth=1\nheight=1\n"},
        {"empty source", "[video]\nsource=\nwidth=1\nheight=1\nformat=gray8\n"},
        {"zero width", withWidth("0")},
        {"negative width", withWidth("-4")},
        {"width with unit", withWidth("640px")},
        {"huge width", withWidth("99999999999")},
        {"width twice", withWidth("640", "width=320\n")},
        {"source twice", "[video]\nsource=v4l2src\nsource=videotestsrc\nwidth=1\nheight=1\nformat=gray8\n"},
        {"source again later", withWidth("640", "source=videotestsrc\n")},
        {"width over the file limit", withWidth("16385")},
        {"height over the file limit", "[video]\nsource=x\nwidth=1\nheight=16385\nformat=gray8\n"},
        {"bad format", "[video]\nsource=x\nwidth=1\nheight=1\nformat=rgb24\n"},
        {"zero timeout", withWidth("640", "timeout_ms=0\n")},
        {"bad warm-up", withWidth("640", "warmup_frames=many\n")},
        {"unknown key", withWidth("640", "widht=640\n")},
        {"line without =", withWidth("640", "fps\n")},
        {"too long a line", withWidth("640", "timeout_ms=" + std::string(300, '1') + "\n")},
        {"NUL in the source", std::string("[video]\nsource=x") + '\0' + "y\nwidth=1\nheight=1\nformat=gray8\n"},
    };
}

}  // namespace

TEST(VideoConfig, ReadsEveryKeyAndKeepsCapsCommasAndBackslashesInTheSource)
{
    // Guards against a parser that splits caps at commas or eats backslashes (QSettings does).
    const auto r = qyn::parseVideoConfig(
        "; comment\n[video]\nsource = videotestsrc ! video/x-raw,format=I420\n"
        "   ! textoverlay text=\"a\\\\b\"\nWidth = 33\nheight=7\nformat = Colour\n"
        "timeout_ms = 250\nwarmup_frames = 4\n[other]\nanything = goes\n");
    ASSERT_TRUE(r.ok()) << r.message.toStdString();
    EXPECT_EQ(r.config.source,
              QStringLiteral("videotestsrc ! video/x-raw,format=I420 ! textoverlay text=\"a\\\\b\""));
    EXPECT_EQ(r.config.width, 33);
    EXPECT_EQ(r.config.height, 7);
    EXPECT_EQ(r.config.format, QynPixelFormat::Color32);
    EXPECT_EQ(r.config.timeoutMs, 250);
    EXPECT_EQ(r.config.warmupFrames, 4);

    const auto defaults = qyn::parseVideoConfig("[video]\nsource=x\nwidth=1\nheight=1\nformat=gray8\n");
    ASSERT_TRUE(defaults.ok());
    EXPECT_EQ(defaults.config.timeoutMs, QynVideoConfig::DefaultTimeoutMs);
    EXPECT_EQ(defaults.config.warmupFrames, 0);
    EXPECT_EQ(defaults.config.format, QynPixelFormat::Gray8);
    // The largest frame is the largest file the loader takes back.
    EXPECT_TRUE(qyn::parseVideoConfig("[video]\nsource=x\nwidth=16384\nheight=16384\nformat=gray8\n").ok());
}

class MalformedContent : public ::testing::TestWithParam<MalformedConfig> {};

TEST_P(MalformedContent, IsRefusedWithAReason)
{
    // Guards against a bad file silently opening with zero sizes or a wrong key ignored.
    const auto r = qyn::parseVideoConfig(GetParam().text);
    EXPECT_EQ(r.problem, QynVideoConfigResult::Problem::Content);
    EXPECT_FALSE(r.message.isEmpty());
}
INSTANTIATE_TEST_SUITE_P(VideoConfig, MalformedContent, ::testing::ValuesIn(malformedConfigs()), NameOfCase());

TEST(VideoConfig, TheSampleFilesAreValid)
{
    // Guards against shipping sample files that the program itself refuses.
    const QDir dir(QStringLiteral(QYN_SOURCE_DIR "/config/video"));
    const QStringList files = dir.entryList({QStringLiteral("*.ini")}, QDir::Files);
    EXPECT_GE(files.size(), 4);
    for (const QString& name : files) {
        const auto r = qyn::readVideoConfig(dir.filePath(name));
        EXPECT_TRUE(r.ok()) << name.toStdString() << ": " << r.message.toStdString();
    }
}

TEST_F(VideoTest, OpeningFailuresLeaveDistinctCodesAndGStreamersText)
{
    // Guards against a device that did not open being reported as open, or all
    // failures collapsing into one code the log cannot tell apart.
    EXPECT_EQ(qyn::call(video_, QynVideo::OpenDevice), QynStatus::Ok);
    EXPECT_EQ(result(), QynVideo::ConfigFileMissing);  // no path written

    ASSERT_EQ(qyn::put(video_, QynVideo::ConfigFilePath, dir_.filePath(QStringLiteral("none.ini"))),
              QynStatus::Ok);
    EXPECT_EQ(qyn::call(video_, QynVideo::OpenDevice), QynStatus::Ok);
    EXPECT_EQ(result(), QynVideo::ConfigFileMissing);

    ASSERT_EQ(qyn::put(video_, QynVideo::ConfigFilePath, dir_.path()), QynStatus::Ok);  // a folder
    EXPECT_EQ(qyn::call(video_, QynVideo::OpenDevice), QynStatus::Ok);
    EXPECT_EQ(result(), QynVideo::ConfigFileMissing);

    EXPECT_EQ(open(QStringLiteral("[video]\nsource = videotestsrc\n")), QynVideo::ConfigInvalid);
    EXPECT_EQ(open(iniText(QStringLiteral("nosuchelement"), 8, 8, "gray8")), QynVideo::ElementMissing);
    EXPECT_FALSE(video_.lastErrorText().isEmpty());
    EXPECT_EQ(open(iniText(QStringLiteral("videotestsrc ! !"), 8, 8, "gray8")), QynVideo::PipelineInvalid);
    EXPECT_EQ(open(iniText(QStringLiteral("audiotestsrc"), 8, 8, "gray8")), QynVideo::FormatNotOffered);
    EXPECT_EQ(open(iniText(QStringLiteral("v4l2src device=/dev/video99"), 8, 8, "gray8")),
              QynVideo::DeviceFailed);
    EXPECT_TRUE(video_.lastErrorText().contains(QStringLiteral("video99"))) << video_.lastErrorText().toStdString();
    EXPECT_FALSE(video_.isOpen());
}

TEST_F(VideoTest, TheTestPatternSamplesOpenAndDeliver)
{
    // Guards against sample files whose pipeline does not run as written.
    for (const char* name : {"colour-test-pattern.ini", "gray-test-pattern.ini"}) {
        const QString path = QStringLiteral(QYN_SOURCE_DIR "/config/video/") + QString::fromLatin1(name);
        ASSERT_EQ(qyn::put(video_, QynVideo::ConfigFilePath, path), QynStatus::Ok);
        ASSERT_EQ(qyn::call(video_, QynVideo::OpenDevice), QynStatus::Ok);
        ASSERT_EQ(result(), 0) << name << ": " << video_.lastErrorText().toStdString();
        QynImage slot;
        EXPECT_EQ(prepareAndGrab(slot), 0) << name;
        EXPECT_TRUE(slot.isFilled()) << name;
    }
}

TEST_F(VideoTest, CallsWithoutAnOpenDeviceDoNoHarm)
{
    // Guards against PrepareImage or Grab failing the call, touching the slot or
    // crashing before OpenDevice and after CloseDevice.
    QynImage slot({512, 480, 8, 1, 1, 0, 512});
    for (int round = 0; round < 2; ++round) {
        EXPECT_EQ(qyn::call(video_, QynVideo::PrepareImage, {&slot}), QynStatus::Ok);
        EXPECT_EQ(result(), QynVideo::NotOpen);
        EXPECT_EQ(qyn::call(video_, QynVideo::Grab, {&slot}), QynStatus::Ok);
        EXPECT_EQ(result(), QynVideo::NotOpen);
        EXPECT_EQ(slot.width(), 512);
        EXPECT_FALSE(slot.isFilled());
        EXPECT_EQ(qyn::call(video_, QynVideo::CloseDevice), QynStatus::Ok);
        EXPECT_EQ(result(), 0);
        ASSERT_EQ(open(iniText(liveSource({}), 16, 16, "gray8")), 0);
        EXPECT_EQ(qyn::call(video_, QynVideo::CloseDevice), QynStatus::Ok);
    }
}

TEST_F(VideoTest, MalformedArgumentsFailTheCallAndLeaveACode)
{
    // Guards against a null or wrong-typed slot being dereferenced.
    QynVideo other;
    const std::vector<std::vector<QynVariant>> bad{
        {}, {static_cast<QynComponent*>(nullptr)}, {static_cast<QynComponent*>(&other)}, {5}};
    for (const auto& args : bad) {
        for (auto id : {QynVideo::Grab, QynVideo::PrepareImage}) {
            EXPECT_NE(video_.invoke(id, QynCallKind::Method, args).status, QynStatus::Ok);
            EXPECT_EQ(result(), QynVideo::BadArgument);
        }
    }
    EXPECT_NE(qyn::put(video_, QynVideo::ConfigFilePath, 5), QynStatus::Ok);
    EXPECT_EQ(result(), QynVideo::BadArgument);
}

TEST_F(VideoTest, ColourFramesLandWithXZeroAndTheConfiguredFormat)
{
    // Guards against BGRx's X = 0xff reaching the slot, swapped channels, or a slot
    // whose properties do not describe the frame.
    ASSERT_EQ(open(iniText(liveSource(QStringLiteral("pattern=solid-color foreground-color=0xff336699")),
                           33, 7, "colour")),
              0);
    QynImage slot({512, 480, 8, 1, 1, 0, 512});
    ASSERT_EQ(qyn::call(video_, QynVideo::PrepareImage, {&slot}), QynStatus::Ok);
    EXPECT_EQ(qyn::getInt32(slot, QynImage::ImageType), QynImage::TypeColor);
    EXPECT_EQ(qyn::getInt32(slot, QynImage::FormatParam1), 33);
    EXPECT_EQ(qyn::getInt32(slot, QynImage::FormatParam2), 7);
    ASSERT_EQ(prepareAndGrab(slot), 0) << video_.lastErrorText().toStdString();
    const QynPixelBuffer* px = slot.pixels();
    ASSERT_NE(px, nullptr);
    EXPECT_EQ(slot.bitDepth(), 32);
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 33; ++x) {
            const std::uint8_t* p = px->row(y) + 4 * x;
            ASSERT_EQ((std::array<int, 4>{p[0], p[1], p[2], p[3]}), (std::array<int, 4>{0x99, 0x66, 0x33, 0}))
                << x << "," << y;
        }
}

TEST_F(VideoTest, GrayFramesWithPaddedRowsCopyOnlyThePixels)
{
    // Guards against ignoring GRAY8's 4-byte row padding (odd widths come out sheared).
    for (const auto& [pattern, level] : {std::pair{"white", 235}, std::pair{"black", 16}}) {
        ASSERT_EQ(open(iniText(liveSource(QStringLiteral("pattern=%1").arg(QString::fromLatin1(pattern))),
                               33, 5, "gray8")),
                  0);
        QynImage slot;
        ASSERT_EQ(prepareAndGrab(slot), 0) << video_.lastErrorText().toStdString();
        const QynPixelBuffer* px = slot.pixels();
        ASSERT_NE(px, nullptr);
        EXPECT_EQ(slot.imageType(), QynImage::TypeGray);
        EXPECT_EQ(px->width(), 33);
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 33; ++x)
                ASSERT_EQ(px->row(y)[x], level) << pattern << " " << x << "," << y;
    }
}

TEST_F(VideoTest, GrabReturnsAFrameTakenAfterTheCallBegan)
{
    // Guards against handing out the frame that waited in the sink since before the call.
    ASSERT_EQ(open(iniText(liveSource({}, 20), 16, 16, "gray8")), 0);
    QynImage slot;
    for (int i = 0; i < 3; ++i) {
        QThread::msleep(120);  // a frame or two arrive and wait in the sink meanwhile
        const auto before = video_.runningTimeNow();
        ASSERT_TRUE(before.has_value());
        ASSERT_EQ(prepareAndGrab(slot), 0);
        const auto taken = video_.lastFrameRunningTime();
        ASSERT_TRUE(taken.has_value());
        EXPECT_GE(*taken, *before);
    }
}

TEST_F(VideoTest, GrabDropsTheFrameWaitingInTheSinkAndTheFrameInFlight)
{
    // The test writes numbered frames into a pipe. When Grab begins, frame 1 waits in
    // the sink and frame 2 is on its way, held up by a slow element; frame 3 is written
    // while Grab waits. Only frame 3 may land: without the drain of the waiting frame,
    // or without the refusal of one frame older than the call, frame 2 lands instead.
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    const auto writeFrame = [&](std::uint8_t number) {
        const std::vector<std::uint8_t> frame(16 * 16, number);
        return write(ends[1], frame.data(), frame.size()) == ssize_t(frame.size());
    };
    ASSERT_TRUE(writeFrame(1));
    const QString source = QStringLiteral("fdsrc fd=%1 ! rawvideoparse format=gray8 width=16 height=16 "
                                          "framerate=30/1 ! identity sleep-time=400000")
                               .arg(ends[0]);
    ASSERT_EQ(open(iniText(source, 16, 16, "gray8", 10000)), 0);
    QThread::msleep(900);  // frame 1 has passed the slow element and waits in the sink
    ASSERT_TRUE(writeFrame(2));
    std::thread late([&] {
        QThread::msleep(100);
        EXPECT_TRUE(writeFrame(3));
    });
    QynImage slot;
    EXPECT_EQ(prepareAndGrab(slot), 0) << video_.lastErrorText().toStdString();
    late.join();
    ASSERT_TRUE(slot.isFilled());
    EXPECT_EQ(slot.pixels()->row(0)[0], 3);
    close(ends[1]);
    EXPECT_EQ(qyn::call(video_, QynVideo::CloseDevice), QynStatus::Ok);
    close(ends[0]);
}

TEST_F(VideoTest, WarmUpFramesAreDroppedWhileOpening)
{
    // Guards against warm-up frames being ignored: two frames cannot cover three.
    EXPECT_EQ(open(iniText(liveSource(QStringLiteral("num-buffers=2")), 8, 8, "gray8", 2000, 3)),
              QynVideo::EndOfStream);
    EXPECT_FALSE(video_.isOpen());
    EXPECT_EQ(open(iniText(liveSource(QStringLiteral("num-buffers=30")), 8, 8, "gray8", 2000, 3)), 0);
}

TEST_F(VideoTest, EndOfStreamAndStreamingErrorsKeepTheSlotAndTheNextGrabRebuilds)
{
    // Guards against a Grab after the source ended or failed reporting success, wiping
    // the slot's last good frame, or never delivering again (a camera unplugged and
    // plugged back in): the next Grab builds the pipeline anew.
    const std::array<std::pair<QString, std::int32_t>, 2> cases{{
        {liveSource(QStringLiteral("num-buffers=4"), 20), QynVideo::EndOfStream},
        {liveSource({}, 20) + QStringLiteral(" ! identity error-after=4"), QynVideo::StreamError},
    }};
    for (const auto& [source, expected] : cases) {
        ASSERT_EQ(open(iniText(source, 8, 8, "gray8", 60000)), 0);
        QynImage slot;
        ASSERT_EQ(prepareAndGrab(slot), 0) << source.toStdString();
        const QynPixelBuffer* good = nullptr;
        std::int32_t code = 0;
        for (int i = 0; i < 10 && code == 0; ++i) {
            good = slot.pixels();
            code = prepareAndGrab(slot);
        }
        EXPECT_EQ(code, expected) << source.toStdString();
        EXPECT_EQ(slot.pixels(), good);
        EXPECT_FALSE(video_.lastErrorText().isEmpty());
        EXPECT_TRUE(video_.isOpen());
        EXPECT_EQ(prepareAndGrab(slot), 0) << video_.lastErrorText().toStdString();
        EXPECT_NE(slot.pixels(), good);
    }
}

TEST_F(VideoTest, ASourceThatFallsSilentTimesOut)
{
    // Guards against Grab blocking for ever, or filling the slot, when frames stop coming,
    // and against a wait that is not the configured one (the default is 3000 ms; the
    // upper bound leaves a loaded machine room and stays well below it).
    ASSERT_EQ(open(iniText(liveSource({}) + QStringLiteral(" ! valve drop=true"), 8, 8, "colour", 150)), 0);
    QynImage slot({512, 480, 8, 1, 1, 0, 512});
    for (int grab = 0; grab < 2; ++grab) {
        const auto began = std::chrono::steady_clock::now();
        EXPECT_EQ(prepareAndGrab(slot), QynVideo::Timeout);
        const auto waited = std::chrono::steady_clock::now() - began;
        EXPECT_GE(waited, std::chrono::milliseconds(150));
        EXPECT_LT(waited, std::chrono::milliseconds(1500));
        EXPECT_FALSE(slot.isFilled());
    }
    EXPECT_EQ(qyn::call(video_, QynVideo::CloseDevice), QynStatus::Ok);
    EXPECT_EQ(qyn::call(video_, QynVideo::CloseDevice), QynStatus::Ok);
    EXPECT_EQ(result(), 0);
}

TEST_F(VideoTest, ListenersSeeEveryFrameBesideGrabAcrossRebuildsAndNoneAfterTheyLeave)
{
    // Guards against listeners that miss frames the sink drops, that stop Grab from
    // working on the same pipeline, that lose their place when a failed pipeline is
    // rebuilt, or that are still called after they left.
    ASSERT_EQ(open(iniText(liveSource(QStringLiteral("num-buffers=40"), 100), 8, 8, "gray8", 2000)), 0);
    std::mutex mutex;
    std::vector<std::uint64_t> numbers;
    std::uint64_t lost = 0;
    std::atomic<int> calls{0};
    auto& listeners = video_.frameListeners();
    const auto id = listeners.add([&](const QynFrameTap::Frame& frame) {
        const std::lock_guard lock(mutex);
        ++calls;
        EXPECT_EQ(frame.width, 8);
        EXPECT_EQ(frame.format, QynPixelFormat::Gray8);
        if (frame.number)
            numbers.push_back(*frame.number);
        lost += frame.lostBefore;
    });
    QynImage slot;
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(prepareAndGrab(slot), 0);
    for (int i = 0; i < 100 && prepareAndGrab(slot) == 0; ++i) {
    }
    EXPECT_EQ(result(), QynVideo::EndOfStream);
    {
        const std::lock_guard lock(mutex);
        ASSERT_FALSE(numbers.empty());
        for (std::size_t i = 1; i < numbers.size(); ++i)
            EXPECT_EQ(numbers[i], numbers[i - 1] + 1);
        EXPECT_EQ(numbers.back(), 39u);
        EXPECT_EQ(lost, 0u);
        numbers.clear();
    }
    EXPECT_EQ(video_.resumeStreaming(), 0);
    for (int i = 0; i < 100 && calls < 50; ++i)
        QThread::msleep(10);
    EXPECT_GE(calls.load(), 50);
    listeners.remove(id);
    const int after = calls;
    QThread::msleep(100);
    EXPECT_EQ(calls.load(), after);
}
