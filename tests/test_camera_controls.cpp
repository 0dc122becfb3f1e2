// Camera controls over the connection the capture holds: the simulated GigE Vision camera's
// features through aravissrc's camera object, checked from outside with arv-tool-0.8 once
// the pipeline has let the camera go; a V4L2 device described by a fake; saving the
// settings as a configuration that opens the camera the same way again.
#include "CameraWindow.h"
#include "CaseName.h"
#include "FakeGigECamera.h"
#include "MainWindowHarness.h"
#include "RecordWindow.h"
#include "QynAravisControls.h"
#include "QynCameraControlModel.h"
#include "QynGst.h"
#include "QynImage.h"
#include "QynSourceControls.h"
#include "QynSourceDescription.h"
#include "QynV4l2Controls.h"
#include "QynVideo.h"
#include "QynVideoConfig.h"
#include "QynVideoConfigWriter.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTest>
#include <QTreeView>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <cstring>

namespace {

using Problem = QynControlResult::Problem;

QynVideo& QynVideo1(frmMain& w)
{
    return *w.QynVideo1().asVideo();
}

class CameraControlsTest : public ::testing::Test {
protected:
    static constexpr int Width = 128;
    static constexpr int Height = 96;

    void SetUp() override
    {
        if (const QString why = FakeGigECamera::missing(); !why.isEmpty())
            GTEST_SKIP() << "no simulated GigE Vision camera: " << why.toStdString();
        ASSERT_TRUE(FakeGigECamera::rawNetworkDropped());
        ASSERT_TRUE(camera_.start(Width, Height)) << "the simulated camera did not answer at " << camera_.name().toStdString();
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
    const QString source = controls_->sourceWith(opened.config.source, {{"Width", "64"}, {"Height", "32"}}, &problem);
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

// Guards against a software trigger that gives no frame or several: with trigger mode on
// and source Software the camera sends nothing until the command runs, then one frame per
// run. (aravissrc ends its stream when no frame comes for 2 s, so the presses come sooner.)
TEST_F(CameraControlsTest, OneSoftwareTriggerGivesOneFrame)
{
    startPipeline(QStringLiteral("aravissrc camera-name=%1 ! video/x-raw,format=GRAY8").arg(camera_.name()));
    for (const auto& [name, value] : {std::pair{"TriggerSelector", "FrameStart"}, {"TriggerSource", "Software"},
                                      {"TriggerMode", "On"}})
        ASSERT_TRUE(controls_->write(QString::fromLatin1(name), QString::fromLatin1(value)).ok()) << name;
    QThread::msleep(300);  // frames already taken still arrive
    const int before = frames_;
    QThread::msleep(400);
    EXPECT_EQ(frames_, before);
    for (int press = 1; press <= 2; ++press) {
        ASSERT_TRUE(controls_->execute("TriggerSoftware").ok());
        QElapsedTimer waited;
        waited.start();
        while (frames_ < before + press && waited.elapsed() < 1000)
            QThread::msleep(10);
        QThread::msleep(200);
        EXPECT_EQ(frames_, before + press);
    }
}

// Guards the main window's hook-up on the camera it already has open (a second connection
// would be refused): values set in the camera window reach the running camera and what
// another program reads afterwards; a refused value is named and the stream goes on; a
// region change restarts the stream and the next Grab's slot has the new size; in software
// trigger mode each Grab takes one new frame and the camera sends none in between, even
// after a pause longer than aravissrc waits for a frame at the camera's own rate.
TEST_F(CameraControlsTest, TheMainWindowSetsItsOpenCamera)
{
    MainWindowHarness h;
    h.start(sampleCopy("fake-camera-gray.ini"));
    frmMain& w = h.window();
    ASSERT_TRUE(w.blnVideoInUse());
    ASSERT_TRUE(w.cmdCamera->isEnabled());
    EXPECT_EQ(w.cmdCamera->accessibleName(), "Camera settings");
    w.cmdCamera->click();
    CameraWindow& window = w.cameraWindow();
    ASSERT_TRUE(window.isVisible());
    QynCameraControlModel& model = *window.model();
    ASSERT_NE(model.controls(), nullptr) << model.noControlsReason().toStdString();
    const auto set = [&](const char* name, const QVariant& value) {
        const bool taken = model.setData(model.find(QString::fromLatin1(name)), value);
        QTest::qWait(50);  // the main window takes a restart or a trigger mode by a queued call
        return taken;
    };
    const auto grab = [&] {
        w.cmdButton4->click();
        return w.imageSlot(1).asImage();
    };

    ASSERT_TRUE(set("ExposureTimeAbs", 10000.0));
    ASSERT_TRUE(set("GainRaw", 0));
    EXPECT_FALSE(set("GainRaw", 11));
    EXPECT_TRUE(window.statusText().startsWith("GainRaw: 11 is outside")) << window.statusText().toStdString();
    EXPECT_EQ(model.find("GainRaw").data(Qt::EditRole).toLongLong(), 0);
    EXPECT_EQ(grab()->width(), Width);

    EXPECT_FALSE(set("Width", 64));  // not on the running camera: a restart
    EXPECT_TRUE(window.statusText().contains("restarted")) << window.statusText().toStdString();
    ASSERT_NE(model.controls(), nullptr);
    EXPECT_EQ(grab()->width(), 64);
    EXPECT_EQ(w.imageSlot(1).asImage()->height(), Height);
    EXPECT_EQ(QynVideo1(w).lastResult(), 0) << QynVideo1(w).lastErrorText().toStdString();

    // The record panel takes the same stream's frames.
    w.cmdRecording->click();
    RecordWindow& recorder = w.recordWindow();
    recorder.findChild<QLineEdit*>("txtFolder")->setText(dir_.filePath("recorded"));
    recorder.findChild<QSpinBox*>("spnLength")->setValue(10);
    ASSERT_TRUE(recorder.startRecording()) << recorder.statusText().toStdString();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !recorder.recording(); }, 20000)) << recorder.statusText().toStdString();
    EXPECT_TRUE(recorder.statusText().startsWith("Recorded 10 frames")) << recorder.statusText().toStdString();

    for (const auto& [name, value] : {std::pair{"TriggerSelector", "FrameStart"}, {"TriggerSource", "Software"},
                                      {"TriggerMode", "On"}})
        ASSERT_TRUE(set(name, QString::fromLatin1(value))) << name;
    ASSERT_TRUE(QynVideo1(w).softwareTriggered()) << window.statusText().toStdString();
    const QynCameraControls* triggered = model.controls();
    // The simulated camera's pixels step with its frame number: one step per Grab.
    std::vector<int> corner;
    for (int pause : {0, 0, 500, 2500}) {
        QTest::qWait(pause);
        const QynImage* slot = grab();
        ASSERT_EQ(QynVideo1(w).lastResult(), 0) << "after " << pause << " ms: " << QynVideo1(w).lastErrorText().toStdString();
        corner.push_back(slot->pixels()->row(Height / 2)[32]);
    }
    for (std::size_t i = 2; i < corner.size(); ++i)
        EXPECT_EQ((corner[i] - corner[i - 1] + 256) % 256, (corner[1] - corner[0] + 256) % 256) << i;
    EXPECT_NE(corner[1], corner[0]);
    EXPECT_EQ(model.controls(), triggered) << "the stream was rebuilt: it ended while waiting for a trigger";
    ASSERT_TRUE(set("TriggerMode", QStringLiteral("Off")));

    w.close();
    EXPECT_EQ(model.controls(), nullptr);
    const auto values = camera_.control({"ExposureTimeAbs", "GainRaw", "Width", "TriggerMode"});
    EXPECT_EQ(values.at("ExposureTimeAbs"), "10000");
    EXPECT_EQ(values.at("GainRaw"), "0");
    EXPECT_EQ(values.at("Width"), "64");
    EXPECT_EQ(values.at("TriggerMode"), "Off");
}

namespace {

// A V4L2 device described by a table, answering the control calls as a driver does:
// QUERYCTRL with the next-control flag walks the ids upwards, menus answer only for the
// indexes they have, and S_CTRL stores any value (range checks are the caller's) unless
// the control is told to fail.
class FakeV4l2Device final : public QynV4l2Device {
public:
    struct Control {
        std::uint32_t id;
        std::uint32_t type;
        const char* name;
        std::int32_t minimum, maximum, step;
        std::uint32_t flags;
        std::int32_t value;
        std::vector<std::pair<std::uint32_t, const char*>> menu;
        int setError = 0;
    };
    explicit FakeV4l2Device(std::vector<Control> controls) : controls_(std::move(controls)) {}

    QString name() const override { return QStringLiteral("/dev/video7"); }
    int queryControl(v4l2_queryctrl& query) override
    {
        const bool next = query.id & V4L2_CTRL_FLAG_NEXT_CTRL;
        const std::uint32_t id = query.id & ~(V4L2_CTRL_FLAG_NEXT_CTRL | V4L2_CTRL_FLAG_NEXT_COMPOUND);
        const Control* found = nullptr;
        for (const Control& c : controls_)
            if (next ? c.id > id && (!found || c.id < found->id) : c.id == id)
                found = &c;
        if (!found)
            return EINVAL;
        query = {};
        query.id = found->id;
        query.type = found->type;
        std::strncpy(reinterpret_cast<char*>(query.name), found->name, sizeof query.name - 1);
        query.minimum = found->minimum;
        query.maximum = found->maximum;
        query.step = std::uint32_t(found->step);
        query.flags = found->flags;
        return 0;
    }
    int queryMenu(v4l2_querymenu& item) override
    {
        if (Control* c = find(item.id))
            for (const auto& [index, label] : c->menu)
                if (index == item.index) {
                    std::strncpy(reinterpret_cast<char*>(item.name), label, sizeof item.name - 1);
                    return 0;
                }
        return EINVAL;
    }
    int getControl(v4l2_control& control) override
    {
        Control* c = find(control.id);
        if (!c)
            return EINVAL;
        control.value = c->value;
        return 0;
    }
    int setControl(v4l2_control& control) override
    {
        Control* c = find(control.id);
        if (!c)
            return EINVAL;
        if (c->setError)
            return c->setError;
        c->value = control.value;
        return 0;
    }
    Control* find(std::uint32_t id)
    {
        for (Control& c : controls_)
            if (c.id == id)
                return &c;
        return nullptr;
    }

private:
    std::vector<Control> controls_;
};

std::vector<FakeV4l2Device::Control> webcamControls()
{
    constexpr std::uint32_t classFlags = V4L2_CTRL_FLAG_READ_ONLY | V4L2_CTRL_FLAG_WRITE_ONLY;
    return {
        {V4L2_CID_USER_CLASS, V4L2_CTRL_TYPE_CTRL_CLASS, "User Controls", 0, 0, 0, classFlags, 0, {}},
        {V4L2_CID_BRIGHTNESS, V4L2_CTRL_TYPE_INTEGER, "Brightness", 0, 255, 1, 0, 128, {}},
        {V4L2_CID_CONTRAST, V4L2_CTRL_TYPE_INTEGER, "Contrast", 0, 100, 5, 0, 50, {}},
        {V4L2_CID_SATURATION, V4L2_CTRL_TYPE_INTEGER, "Saturation", 0, 100, 1, V4L2_CTRL_FLAG_DISABLED, 0, {}},
        {V4L2_CID_HUE, V4L2_CTRL_TYPE_INTEGER64, "Hue", 0, 100, 1, 0, 0, {}},
        {V4L2_CID_GAIN, V4L2_CTRL_TYPE_INTEGER, "Gain", 0, 100, 1, V4L2_CTRL_FLAG_GRABBED, 0, {}},
        {V4L2_CID_HFLIP, V4L2_CTRL_TYPE_BOOLEAN, "Horizontal Flip", 0, 1, 1, 0, 0, {}},
        {V4L2_CID_POWER_LINE_FREQUENCY, V4L2_CTRL_TYPE_MENU, "Power Line Frequency", 0, 2, 1, 0, 2,
         {{0, "Disabled"}, {2, "60 Hz"}}},
        {V4L2_CID_SHARPNESS, V4L2_CTRL_TYPE_INTEGER, "Sharpness", 0, 7, 1, 0, 3, {}, EBUSY},
        {V4L2_CID_CHROMA_GAIN, V4L2_CTRL_TYPE_INTEGER, "Chroma Gain", 0, 7, 1, V4L2_CTRL_FLAG_READ_ONLY, 2, {}},
        {V4L2_CID_CAMERA_CLASS, V4L2_CTRL_TYPE_CTRL_CLASS, "Camera Controls", 0, 0, 0, classFlags, 0, {}},
        {V4L2_CID_EXPOSURE_AUTO, V4L2_CTRL_TYPE_MENU, "Auto Exposure", 0, 3, 1, 0, 3,
         {{1, "Manual Mode"}, {3, "Aperture Priority Mode"}}},
        {V4L2_CID_EXPOSURE_ABSOLUTE, V4L2_CTRL_TYPE_INTEGER, "Exposure Time, Absolute", 3, 2047, 1,
         V4L2_CTRL_FLAG_INACTIVE, 250, {}},
        {V4L2_CID_PAN_RESET, V4L2_CTRL_TYPE_BUTTON, "Pan, Reset", 0, 0, 0, V4L2_CTRL_FLAG_WRITE_ONLY, 0, {}},
    };
}

struct V4l2Write {
    const char* name;
    const char* control;
    QVariant value;
    Problem expected;
    std::uint32_t id;
    std::int32_t deviceValue;  // what the device holds afterwards
};

class V4l2Writes : public ::testing::TestWithParam<V4l2Write> {};

}  // namespace

// Guards against values the device would take but should not (drivers often clamp or
// store anything): range, step, menu entries the device lacks, inactive, grabbed and
// read-only controls are refused before the device sees them, and a device's own refusal
// comes back in its words; either way the device keeps its value.
TEST_P(V4l2Writes, AreCheckedBeforeTheDeviceSeesThem)
{
    const V4l2Write& row = GetParam();
    auto device = std::make_unique<FakeV4l2Device>(webcamControls());
    FakeV4l2Device& fake = *device;
    QynV4l2Controls controls(std::move(device));
    const QynControlResult result = controls.write(QString::fromLatin1(row.control), row.value);
    EXPECT_EQ(result.problem, row.expected) << result.message.toStdString();
    if (!result.ok()) {
        EXPECT_TRUE(result.message.startsWith(QLatin1String(row.control))) << result.message.toStdString();
    }
    EXPECT_EQ(fake.find(row.id)->value, row.deviceValue);
}

INSTANTIATE_TEST_SUITE_P(
    CameraControls, V4l2Writes,
    ::testing::Values(V4l2Write{"integer", "brightness", 200, Problem::None, V4L2_CID_BRIGHTNESS, 200},
                      V4l2Write{"above range", "brightness", 256, Problem::OutOfRange, V4L2_CID_BRIGHTNESS, 128},
                      V4l2Write{"between steps", "contrast", 52, Problem::NotMultiple, V4L2_CID_CONTRAST, 50},
                      V4l2Write{"on a step", "contrast", 55, Problem::None, V4L2_CID_CONTRAST, 55},
                      V4l2Write{"menu entry by its label", "power_line_frequency", QStringLiteral("Disabled"),
                                Problem::None, V4L2_CID_POWER_LINE_FREQUENCY, 0},
                      V4l2Write{"menu entry the device lacks", "power_line_frequency", QStringLiteral("50 Hz"),
                                Problem::NotOffered, V4L2_CID_POWER_LINE_FREQUENCY, 2},
                      V4l2Write{"boolean", "horizontal_flip", true, Problem::None, V4L2_CID_HFLIP, 1},
                      V4l2Write{"inactive", "exposure_time_absolute", 100, Problem::Unavailable,
                                V4L2_CID_EXPOSURE_ABSOLUTE, 250},
                      V4l2Write{"grabbed while streaming", "gain", 10, Problem::NeedsStreamStopped, V4L2_CID_GAIN, 0},
                      V4l2Write{"read only", "chroma_gain", 1, Problem::ReadOnly, V4L2_CID_CHROMA_GAIN, 2},
                      V4l2Write{"device busy", "sharpness", 5, Problem::Refused, V4L2_CID_SHARPNESS, 3}),
    NameOfCase());

// Guards against a control list that is not the device's: classes become categories,
// disabled and unsupported controls stay out, menus offer only the entries the device
// answers for, and the settings saved for v4l2src are what the device holds.
TEST(CameraControls, V4l2DeviceDescribesItsControls)
{
    auto device = std::make_unique<FakeV4l2Device>(webcamControls());
    FakeV4l2Device& fake = *device;
    QynV4l2Controls controls(std::move(device));
    QStringList tree;
    for (const QynCameraControls::Node& node : controls.nodes())
        tree << (node.category ? QStringLiteral("[%1]").arg(node.displayName) : node.name);
    EXPECT_EQ(tree.join(' ').toStdString(), "[/dev/video7] [User Controls] brightness contrast gain horizontal_flip "
                              "power_line_frequency sharpness chroma_gain [Camera Controls] auto_exposure "
                              "exposure_time_absolute pan_reset");
    EXPECT_EQ(controls.upFront().join(' ').toStdString(), "auto_exposure exposure_time_absolute gain brightness contrast");
    const QynCameraControl menu = controls.read("power_line_frequency");
    EXPECT_EQ(menu.entries.join('|').toStdString(), "Disabled|60 Hz");
    EXPECT_EQ(menu.value.toString().toStdString(), "60 Hz");
    EXPECT_TRUE(controls.execute("pan_reset").ok());

    ASSERT_TRUE(controls.write("brightness", 200).ok());
    fake.find(V4L2_CID_GAIN)->value = 40;  // the driver's own change
    QString problem;
    const QString source = controls.sourceWith(QStringLiteral("v4l2src device=/dev/video7 ! image/jpeg ! jpegdec"),
                                               {{"power_line_frequency", "Disabled"}}, &problem);
    EXPECT_EQ(source.toStdString(), "v4l2src device=/dev/video7 extra-controls=c,auto_exposure=3,gain=40,brightness=200,contrast=50,"
                      "power_line_frequency=0 ! image/jpeg ! jpegdec")
        << problem.toStdString();
}

namespace {

struct SourceEdit {
    const char* name;
    const char* source;
    QynSourceChange change;
    const char* expected;  // empty when refused
    const char* problem;   // part of the reason when refused
};

class SourceEdits : public ::testing::TestWithParam<SourceEdit> {};

QynSourceChange aravisChange(QynSourceChange::Pairs properties, QString media, QynSourceChange::Pairs caps,
                             QynSourceChange::Pairs features)
{
    return {"aravissrc", std::move(properties), std::move(media), std::move(caps), "features", std::move(features)};
}

}  // namespace

// Guards against a saved source that loses or garbles what the operator wrote: only the
// settings change, in place where they were given; quoted values, other elements and
// features the change does not name stay as written, and what cannot be written is
// refused with the reason.
TEST_P(SourceEdits, ChangeOnlyTheSettings)
{
    const SourceEdit& row = GetParam();
    QString problem;
    const QString changed = QynSourceDescription(QString::fromUtf8(row.source)).changed(row.change, &problem);
    EXPECT_EQ(changed.toStdString(), row.expected);
    EXPECT_TRUE(problem.contains(QString::fromUtf8(row.problem))) << problem.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    CameraControls, SourceEdits,
    ::testing::Values(
        SourceEdit{"properties in place",
                   R"(aravissrc camera-name="Maker Model" exposure = 8000 gain=2 ! video/x-raw,format=GRAY8 ! queue)",
                   aravisChange({{"exposure", ""}, {"offset-x", "16"}, {"camera-name", "Maker Model"}}, {},
                                {{"width", "64"}}, {{"GainRaw", "3"}}),
                   R"(aravissrc camera-name="Maker Model" gain=2 offset-x=16 features=GainRaw=3 ! )"
                   R"(video/x-raw,format=GRAY8,width=64 ! queue)",
                   ""},
        SourceEdit{"features merged, caps retyped",
                   R"(aravissrc features="PixelFormat=Mono8 TestRegister=5 GainRaw=1" ! video/x-bayer,format=bggr,bpp=8)",
                   aravisChange({}, "video/x-raw", {{"format", "GRAY8"}, {"bpp", ""}},
                                {{"GainRaw", "3"}, {"ExposureTimeAbs", "500"}, {"PixelFormat", ""}}),
                   R"(aravissrc features="TestRegister=5 GainRaw=3 ExposureTimeAbs=500" ! video/x-raw,format=GRAY8)", ""},
        SourceEdit{"caps added", "aravissrc camera-name=C",
                   aravisChange({}, "video/x-raw", {{"format", "GRAY8"}, {"framerate", "25/2"}}, {}),
                   "aravissrc camera-name=C ! video/x-raw,format=GRAY8,framerate=25/2", ""},
        SourceEdit{"quoted caps with a list", R"(aravissrc ! "video/x-raw, format=(string){ GRAY8, GRAY16_LE }")",
                   aravisChange({}, {}, {{"format", "GRAY8"}}, {}), "aravissrc ! video/x-raw,format=GRAY8", ""},
        SourceEdit{"caps with spaces", "aravissrc ! video/x-raw, format=GRAY8",
                   aravisChange({}, {}, {{"format", "GRAY8"}}, {}), "", "spaces"},
        SourceEdit{"another source", "videotestsrc is-live=true", aravisChange({{"gain", "1"}}, {}, {}, {}), "",
                   "no aravissrc"},
        SourceEdit{"a feature value of two words", "aravissrc",
                   aravisChange({}, {}, {}, {{"DeviceUserID", "left camera"}}), "", "one word"}),
    NameOfCase());

// Guards against a saved copy that is not the file the operator had: comments, other
// sections, line endings and the other keys stay; a long source goes on over indented
// lines the reader joins back; a source the reader would cut is refused.
TEST(CameraControls, SavedConfigurationKeepsTheRestOfTheFile)
{
    const QString text = QStringLiteral(
        "; my camera\r\n[notes]\r\nsource = not this one\r\n[video]\r\nsource = aravissrc camera-name=C\r\n"
        "; a comment between\r\n   ! video/x-raw\r\nformat = gray8\r\ntimeout_ms = 900\r\n");
    const QString source = QStringLiteral("aravissrc camera-name=C offset-x=16 features=\"%1\" ! video/x-raw,format=GRAY8")
                               .arg(QStringList(12, QStringLiteral("TestRegister=123456")).join(' '));
    QString problem;
    const QString saved = qyn::replaceVideoSource(text, source, &problem);
    ASSERT_FALSE(saved.isEmpty()) << problem.toStdString();
    const QynVideoConfigResult read = qyn::parseVideoConfig(saved.toStdString());
    ASSERT_TRUE(read.ok()) << read.message.toStdString();
    EXPECT_EQ(read.config.source, source);
    EXPECT_EQ(read.config.timeoutMs, 900);
    const QStringList lines = saved.split("\r\n");
    EXPECT_EQ(lines.mid(0, 4), text.split("\r\n").mid(0, 4));
    EXPECT_TRUE(lines.contains("; a comment between"));
    for (const QString& line : lines)
        EXPECT_LE(line.size(), 110) << line.toStdString();
    EXPECT_FALSE(saved.contains(QRegularExpression("[^\r]\n")));

    EXPECT_TRUE(qyn::replaceVideoSource(text, "aravissrc features=\"A=1 ;B=2\"", &problem).isEmpty());
    EXPECT_TRUE(problem.contains("comment")) << problem.toStdString();
}

// Guards against a camera window that cannot be worked from the keyboard or that loses a
// refusal: the up-front controls stand first, F2 opens an editor fitting the control and
// Enter writes it; a refused value shows the camera's reason and keeps the value; a value
// that needs the stream stopped goes to the stream's owner; the settings save as a copy;
// a source without controls says so.
TEST(CameraControls, CameraWindowEditsWithTheKeyboard)
{
    auto device = std::make_unique<FakeV4l2Device>(webcamControls());
    FakeV4l2Device& fake = *device;
    QynV4l2Controls controls(std::move(device));
    QTemporaryDir dir;
    const QString config = dir.filePath("webcam.ini");
    QFile file(config);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("; my webcam\n[video]\nsource = v4l2src device=/dev/video7\nformat = colour\n");
    file.close();

    CameraWindow window;
    window.setCamera(&controls, {}, config, "v4l2src device=/dev/video7");
    window.show();
    auto* main = window.findChild<QTreeView*>("tvwMain");
    ASSERT_NE(main, nullptr);
    EXPECT_EQ(main->accessibleName(), "Main settings");
    QStringList rows;
    for (int row = 0; row < main->model()->rowCount(main->rootIndex()); ++row)
        rows << main->model()->index(row, 0, main->rootIndex()).data().toString();
    EXPECT_EQ(rows.join('|').toStdString(), "Auto Exposure|Exposure Time, Absolute|Gain|Brightness|Contrast");

    main->setFocus();
    main->setCurrentIndex(window.model()->find("contrast", QynCameraControlModel::NameColumn));
    QTest::keyClick(main, Qt::Key_F2);
    auto* editor = window.findChild<QSpinBox*>("editcontrast");
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->accessibleName(), "Contrast");
    EXPECT_EQ(editor->singleStep(), 5);
    editor->selectAll();
    QTest::keyClicks(editor, "55");
    QTest::keyClick(editor, Qt::Key_Return);
    QApplication::processEvents();  // the view commits an editor's data by a queued call
    EXPECT_EQ(fake.find(V4L2_CID_CONTRAST)->value, 55);

    const QModelIndex brightness = window.model()->find("brightness");
    EXPECT_FALSE(window.model()->setData(brightness, 300));
    EXPECT_TRUE(window.statusText().startsWith("brightness: 300 is outside")) << window.statusText().toStdString();
    EXPECT_EQ(brightness.data(Qt::EditRole).toLongLong(), 128);
    QSignalSpy stops(&window, &CameraWindow::stopNeeded);
    EXPECT_FALSE(window.model()->setData(window.model()->find("gain"), 10));
    ASSERT_EQ(stops.size(), 1);
    EXPECT_EQ(stops[0][0].toString(), "gain");
    EXPECT_EQ(stops[0][1].toString(), "10");

    ASSERT_TRUE(window.saveTo(dir.filePath("saved.ini"))) << window.statusText().toStdString();
    const QynVideoConfigResult saved = qyn::readVideoConfig(dir.filePath("saved.ini"));
    ASSERT_TRUE(saved.ok()) << saved.message.toStdString();
    EXPECT_EQ(saved.config.source.toStdString(),
              "v4l2src device=/dev/video7 extra-controls=c,auto_exposure=3,gain=0,brightness=128,contrast=55");

    qyn::gst::ensureInitialized();
    const qyn::gst::ElementPtr pattern = qyn::gst::sunk(gst_parse_launch("videotestsrc ! fakesink", nullptr));
    const QynSourceControls none = QynSourceControls::of(pattern.get());
    ASSERT_FALSE(none.controls);
    window.setCamera(nullptr, none.why, {}, {});
    EXPECT_EQ(window.findChild<QLabel*>("lblDevice")->text(), "This source (videotestsrc) has no controls.");
    EXPECT_FALSE(main->isVisible());
}
