// Camera controls over the connection the capture holds: the simulated GigE Vision camera's
// features through aravissrc's camera object, checked from outside with arv-tool-0.8 once
// the pipeline has let the camera go; a V4L2 device described by a fake; saving the
// settings as a configuration that opens the camera the same way again.
#include "FakeGigECamera.h"
#include "QynAravisControls.h"
#include "QynGst.h"
#include "QynImage.h"
#include "QynSourceControls.h"
#include "QynSourceDescription.h"
#include "QynV4l2Controls.h"
#include "QynVideo.h"
#include "QynVideoConfig.h"
#include "QynVideoConfigWriter.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>

namespace {

using Problem = QynControlResult::Problem;

class CameraControlsTest : public ::testing::Test {
protected:
    static constexpr int Width = 128;
    static constexpr int Height = 96;

    void SetUp() override
    {
        if (const QString why = FakeGigECamera::missing(); !why.isEmpty())
            GTEST_SKIP() << "no simulated GigE Vision camera: " << why.toStdString();
        ASSERT_TRUE(FakeGigECamera::rawNetworkDropped());
        ASSERT_TRUE(camera_.start(Width, Height)) << "the simulated camera did not appear in arv-tool-0.8's list";
    }
    void TearDown() override { stopPipeline(); }

    // Runs `source ! fakesink` as the capture runs its pipeline and takes the controls of
    // its camera from it.
    void startPipeline(const QString& source)
    {
        qyn::gst::ensureInitialized();
        GError* raw = nullptr;
        pipeline_ = qyn::gst::sunk(gst_parse_launch(
            QStringLiteral("%1 ! fakesink name=sink signal-handoffs=true").arg(source).toUtf8().constData(), &raw));
        const qyn::gst::ErrorPtr error(raw);
        ASSERT_FALSE(error) << error->message;
        frames_ = 0;
        qyn::gst::ElementPtr sink(gst_bin_get_by_name(GST_BIN(pipeline_.get()), "sink"));
        g_signal_connect(sink.get(), "handoff", G_CALLBACK(+[](GstElement*, GstBuffer*, GstPad*, gpointer frames) {
                             ++*static_cast<std::atomic<int>*>(frames);
                         }),
                         &frames_);
        gst_element_set_state(pipeline_.get(), GST_STATE_PLAYING);
        ASSERT_EQ(gst_element_get_state(pipeline_.get(), nullptr, nullptr, 5 * GST_SECOND), GST_STATE_CHANGE_SUCCESS);
        QynSourceControls found = QynSourceControls::of(pipeline_.get());
        ASSERT_TRUE(found.controls) << found.why.toStdString();
        controls_ = std::move(found.controls);
    }
    // Lets the camera go: the controls' reference first, then aravissrc's.
    void stopPipeline()
    {
        controls_.reset();
        if (pipeline_)
            gst_element_set_state(pipeline_.get(), GST_STATE_NULL);
        pipeline_.reset();
    }

    // A copy of a shipped configuration for the simulated camera, with its name.
    QString sampleCopy(const char* sample)
    {
        QFile file(QStringLiteral(QYN_SOURCE_DIR "/config/video/") + QString::fromLatin1(sample));
        EXPECT_TRUE(file.open(QIODevice::ReadOnly));
        QString text = QString::fromUtf8(file.readAll());
        text.replace(QStringLiteral("Aravis-Fake-QYNSAMPLE"), camera_.name());
        const QString path = dir_.filePath(QString::fromLatin1(sample));
        QFile copy(path);
        EXPECT_TRUE(copy.open(QIODevice::WriteOnly));
        copy.write(text.toUtf8());
        return path;
    }

    QTemporaryDir dir_;
    FakeGigECamera camera_;
    qyn::gst::ElementPtr pipeline_;
    std::unique_ptr<QynCameraControls> controls_;
    std::atomic<int> frames_{0};
};

}  // namespace

// Guards against values that do not reach the camera, and against bad values that change
// it anyway (Aravis checks no ranges by default and the camera takes any register value):
// each refusal names the feature and keeps the previous value, and what was accepted is
// what another program reads from the camera afterwards.
TEST_F(CameraControlsTest, WritesReachTheCameraAndRefusalsKeepThePreviousValue)
{
    startPipeline(QStringLiteral("aravissrc camera-name=%1 ! video/x-raw,format=GRAY8").arg(camera_.name()));
    for (const char* name : {"ExposureTimeAbs", "GainRaw", "AcquisitionFrameRate", "Width", "PixelFormat", "TriggerMode",
                             "TriggerSoftware"})
        EXPECT_TRUE(controls_->upFront().contains(QLatin1String(name))) << name;

    struct Row {
        const char* name;
        QVariant value;
        Problem expected;
    };
    const Row rows[] = {
        {"ExposureTimeAbs", 5000.0, Problem::None},
        {"GainRaw", 7, Problem::None},
        {"AcquisitionFrameRate", QStringLiteral("12.5"), Problem::None},
        {"GainRaw", 11, Problem::OutOfRange},
        {"ExposureTimeAbs", 5.0, Problem::OutOfRange},
        {"GainRaw", QStringLiteral("loud"), Problem::WrongValue},
        {"PixelFormat", QStringLiteral("Mono12"), Problem::NotOffered},
        {"Width", 64, Problem::NeedsStreamStopped},
        {"SensorWidth", 100, Problem::ReadOnly},
        {"NoSuchFeature", 1, Problem::NoSuchControl},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const QynControlResult result = controls_->write(QString::fromLatin1(row.name), row.value);
        EXPECT_EQ(result.problem, row.expected) << result.message.toStdString();
        if (!result.ok()) {
            EXPECT_TRUE(result.message.contains(QLatin1String(row.name))) << result.message.toStdString();
        }
    }
    EXPECT_EQ(controls_->read("GainRaw").value.toLongLong(), 7);
    EXPECT_EQ(controls_->read("ExposureTimeAbs").value.toDouble(), 5000.0);
    EXPECT_EQ(controls_->read("Width").value.toLongLong(), Width);

    stopPipeline();
    const auto values = camera_.control({"ExposureTimeAbs", "GainRaw", "AcquisitionFrameRate", "Width"});
    EXPECT_EQ(values.at("ExposureTimeAbs"), "5000");
    EXPECT_EQ(values.at("GainRaw"), "7");
    EXPECT_EQ(values.at("AcquisitionFrameRate"), "12.5");
    EXPECT_EQ(values.at("Width"), QString::number(Width));
}

// Guards against a saved setup that opens the camera otherwise: the copy keeps the
// original's comments and keys, and opening it sets exposure, gain, frame rate and the
// region (which needed the stream stopped) again after another program changed them.
TEST_F(CameraControlsTest, TheSavedConfigurationOpensTheCameraAsItWasSet)
{
    const QString original = sampleCopy("fake-camera-gray.ini");
    const QynVideoConfigResult opened = qyn::readVideoConfig(original);
    ASSERT_TRUE(opened.ok()) << opened.message.toStdString();
    startPipeline(opened.config.source);
    for (const auto& [name, value] : {std::pair{"ExposureTimeAbs", QVariant(5000.0)}, {"GainRaw", QVariant(7)},
                                      {"AcquisitionFrameRate", QVariant(12.5)}})
        ASSERT_TRUE(controls_->write(QString::fromLatin1(name), value).ok()) << name;
    ASSERT_EQ(controls_->write("Width", 64).problem, Problem::NeedsStreamStopped);
    QString problem;
    const auto change = controls_->sourceChange({{"Width", "64"}, {"Height", "32"}}, &problem);
    ASSERT_TRUE(change) << problem.toStdString();
    const QString source = QynSourceDescription(opened.config.source).changed(*change, &problem);
    ASSERT_FALSE(source.isEmpty()) << problem.toStdString();
    const QString saved = dir_.filePath("saved.ini");
    const qyn::VideoConfigSave save = qyn::saveVideoConfigCopy(original, source, saved);
    ASSERT_TRUE(save.ok()) << save.problem.toStdString();
    stopPipeline();

    ASSERT_EQ(camera_.control({"ExposureTimeAbs=20000", "GainRaw=1", "AcquisitionFrameRate=25", "Width=128", "Height=96"})
                  .size(),
              5u);
    QynVideo video;
    video.setConfigFilePath(saved);
    ASSERT_EQ(video.openDevice(), 0) << video.lastErrorText().toStdString();
    QynImage slot;
    ASSERT_EQ(video.prepareImage(slot), 0);
    ASSERT_EQ(video.grab(slot), 0) << video.lastErrorText().toStdString();
    EXPECT_EQ(slot.width(), 64);
    EXPECT_EQ(slot.height(), 32);
    video.closeDevice();

    const auto values = camera_.control({"ExposureTimeAbs", "GainRaw", "AcquisitionFrameRate", "Width", "Height"});
    EXPECT_EQ(values.at("ExposureTimeAbs"), "5000");
    EXPECT_EQ(values.at("GainRaw"), "7");
    EXPECT_EQ(values.at("AcquisitionFrameRate"), "12.5");
    EXPECT_EQ(values.at("Width"), "64");
    EXPECT_EQ(values.at("Height"), "32");
    QFile copy(saved);
    ASSERT_TRUE(copy.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(copy.readAll());
    EXPECT_TRUE(text.startsWith("; QynSample video configuration")) << text.toStdString();
    EXPECT_TRUE(text.contains("\nformat = gray8\n")) << text.toStdString();
}
