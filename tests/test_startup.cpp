// Start-up and shutdown: the command line, the video configuration, the camera steps and
// their warnings, the lists, and CloseDevice at the window's close.
#include "CaseName.h"
#include "DirListBox.h"
#include "ListComboBox.h"
#include "MainWindowHarness.h"
#include "ModalScript.h"
#include "QynImage.h"
#include "QynVideo.h"
#include "frmSelectVideoConfFile.h"

#include <QAbstractButton>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QThread>

#include <gtest/gtest.h>

#include <csignal>

namespace {

const QString openFailed = QStringLiteral(
    "Opening of a video device went wrong.\r\nIt becomes use of only a image file.");
const QString firstFrameFailed = QStringLiteral(
    "Taking in of video went wrong.\r\nIt becomes use of only a image file.");

// A camera whose result codes are scripted; PrepareImage gives slot 1 a 640 x 360 colour format.
std::unique_ptr<QynComponent> camera(std::vector<std::int32_t> codes)
{
    auto video = std::make_unique<FakeComponent>(QString::fromLatin1(QynVideo::ProgId));
    video->on(QynVideo::GetLastResult, resultCodes(std::move(codes)));
    video->on(QynVideo::PrepareImage, [](std::span<const QynVariant> args) -> QynCallResult {
        auto* slot = std::get<QynComponent*>(args[0])->asImage();
        slot->setFormat(640, 360, QynPixelFormat::Color32);
        return {};
    });
    return video;
}

void expectListsFilledAndFirstSelected(frmMain& w)
{
    ASSERT_EQ(w.cmbAutoBin->count(), 4);
    EXPECT_EQ(w.cmbAutoBin->itemText(0), "Gray memory channel composition");
    EXPECT_EQ(w.cmbAutoBin->itemText(1), "Color memory channel decomposition");
    EXPECT_EQ(w.cmbAutoBin->itemText(2), "Conversion of a gray image of a color");
    EXPECT_EQ(w.cmbAutoBin->itemText(3), "Conversion of a color image of a gray");
    EXPECT_EQ(w.cmbAutoBin->listIndex(), 0);
    ASSERT_EQ(w.cmbDispImage->count(), 4);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(w.cmbDispImage->itemText(i), QStringLiteral("image %1").arg(i + 1));
    EXPECT_EQ(w.cmbDispImage->listIndex(), 0);
    EXPECT_EQ(w.cmbDispImage->currentText(), "image 1");
}

const QStringList displayStartCalls = {"QynDisplayEx1 call 101()", "QynDisplayEx1 call 103(QynImage1)",
                                       "QynDisplayEx1 call 103(QynImage1)"};

}  // namespace

// Guards the files-only start: the ticked box in the real dialog must lead to no video call
// and no message, with the window visible and the lists empty while the dialog is open.
TEST(StartUp, NoCameraTickedInTheDialog)
{
    MainWindowHarness h;
    frmMain& w = h.window();
    bool visibleWithEmptyLists = false;
    ModalScript script;
    script.then([&](QWidget* dialog) {
        visibleWithEmptyLists = w.isVisible() && w.cmbAutoBin->count() == 0 && w.cmbDispImage->count() == 0
                                && dialog->parentWidget() == nullptr;
        auto* tick = dialog->findChild<QAbstractButton*>("chkNotUseCamera");
        auto* ok = dialog->findChild<QAbstractButton*>("cmdOK");
        ASSERT_TRUE(tick && ok);
        tick->click();
        ok->click();
    });
    w.Form_Load();

    EXPECT_TRUE(visibleWithEmptyLists);
    EXPECT_TRUE(callsOf(*h.log, "QynVideo1").isEmpty());
    EXPECT_TRUE(h.messages.empty());
    EXPECT_FALSE(w.blnVideoInUse());
    EXPECT_EQ(w.strVideoConfPath(), "");
    EXPECT_EQ(callsOf(*h.log, "QynDisplayEx1").filter(" call ").mid(0, 3), displayStartCalls);
    expectListsFilledAndFirstSelected(w);
    w.close();
    EXPECT_TRUE(callsOf(*h.log, "QynVideo1").isEmpty());
}

// Guards the dialog's close button: it must count as "no camera", not as a chosen file.
TEST(StartUp, DialogClosedByItsCloseButton)
{
    MainWindowHarness h;
    h.start();
    EXPECT_TRUE(callsOf(*h.log, "QynVideo1").isEmpty());
    EXPECT_TRUE(h.messages.empty());
    EXPECT_TRUE(h.sleeps.empty());
    expectListsFilledAndFirstSelected(h.window());
}

// Guards the device-open failure: one warning, and none of the later camera steps.
TEST(StartUp, DeviceThatDoesNotOpen)
{
    MainWindowHarness h;
    h.replace("QynVideo1", [] { return camera({-5}); });
    const QString path = h.dir.filePath("camera.ini");
    h.start(path);
    frmMain& w = h.window();

    EXPECT_EQ(callsOf(*h.log, "QynVideo1"),
              QStringList({"QynVideo1 put 1(\"" + path + "\")", "QynVideo1 call 101()", "QynVideo1 call 110(&int)"}));
    ASSERT_EQ(h.messages.size(), 1u);
    EXPECT_EQ(h.messages[0].prompt, openFailed);
    EXPECT_EQ(h.messages[0].title, "Error");
    EXPECT_EQ(h.messages[0].icon, MsgBoxIcon::Exclamation);
    EXPECT_TRUE(h.sleeps.empty());
    EXPECT_TRUE(callsOf(*h.log, "QynImage2").isEmpty());
    EXPECT_FALSE(w.blnVideoInUse());
    expectListsFilledAndFirstSelected(w);
    w.close();
    EXPECT_EQ(callsOf(*h.log, "QynVideo1").size(), 3);
}

// Guards the first-frame failure: one warning, slot 2 already has slot 1's format, and the
// close must not call CloseDevice.
TEST(StartUp, FirstFrameThatDoesNotArrive)
{
    MainWindowHarness h;
    h.replace("QynVideo1", [] { return camera({0, 9}); });
    h.start(h.dir.filePath("camera.ini"));
    frmMain& w = h.window();

    const QStringList calls = h.log->texts();
    const QStringList expected = {
        "QynVideo1 call 110(&int)",     "QynVideo1 call 103(QynImage1)", "QynImage1 get 5()",
        "QynImage2 put 5(2)",           "QynImage1 get 2()",             "QynImage2 put 2(360)",
        "QynImage1 get 1()",            "QynImage2 put 1(640)",          "QynVideo1 call 200(QynImage1)",
        "QynVideo1 call 110(&int)",     "QynDisplayEx1 call 101()",
    };
    const auto at = calls.indexOf(expected.front());
    ASSERT_GE(at, 0);
    EXPECT_EQ(calls.mid(at, expected.size()), expected);
    EXPECT_EQ(h.sleeps, std::vector<int>{350});
    ASSERT_EQ(h.messages.size(), 1u);
    EXPECT_EQ(h.messages[0].prompt, firstFrameFailed);
    EXPECT_EQ(h.messages[0].title, "Error");
    EXPECT_EQ(h.messages[0].icon, MsgBoxIcon::Exclamation);
    const QynImage* slot2 = w.imageSlot(2).asImage();
    EXPECT_EQ(slot2->width(), 640);
    EXPECT_EQ(slot2->height(), 360);
    EXPECT_EQ(slot2->imageType(), QynImage::TypeColor);
    EXPECT_FALSE(w.blnVideoInUse());
    w.close();
    EXPECT_FALSE(callsOf(*h.log, "QynVideo1").contains("QynVideo1 call 102()"));
}

// Guards the camera start: no warning, the camera in use, and CloseDevice exactly once.
TEST(StartUp, CameraThatWorks)
{
    MainWindowHarness h;
    h.replace("QynVideo1", [] { return camera({0}); });
    h.start(h.dir.filePath("camera.ini"));
    frmMain& w = h.window();
    EXPECT_TRUE(h.messages.empty());
    EXPECT_TRUE(w.blnVideoInUse());
    EXPECT_EQ(callsOf(*h.log, "QynDisplayEx1").filter(" call ").mid(0, 3), displayStartCalls);
    expectListsFilledAndFirstSelected(w);
    w.close();
    EXPECT_EQ(callsOf(*h.log, "QynVideo1").count("QynVideo1 call 102()"), 1);
}

// Guards the start with the real video component: a configuration that names no device
// gives the open warning; the test pattern opens and fills slot 1 with a first frame.
TEST(StartUp, RealVideoComponent)
{
    {
        MainWindowHarness h;
        const QString path = h.dir.filePath("missing.ini");
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("[video]\nsource = v4l2src device=/dev/qyn-no-such-device\nwidth = 64\nheight = 48\n"
                   "format = gray8\ntimeout_ms = 500\n");
        file.close();
        h.start(path);
        ASSERT_EQ(h.messages.size(), 1u);
        EXPECT_EQ(h.messages[0].prompt, openFailed);
        EXPECT_FALSE(h.window().blnVideoInUse());
    }
    {
        MainWindowHarness h;
        h.start(QStringLiteral(QYN_SOURCE_DIR "/config/video/colour-test-pattern.ini"));
        frmMain& w = h.window();
        EXPECT_TRUE(h.messages.empty());
        EXPECT_TRUE(w.blnVideoInUse());
        const QynImage* slot1 = w.imageSlot(1).asImage();
        EXPECT_TRUE(slot1->isFilled());
        EXPECT_EQ(slot1->imageType(), QynImage::TypeColor);
        EXPECT_EQ(w.imageSlot(2).asImage()->width(), slot1->width());
        w.close();
        EXPECT_EQ(callsOf(*h.log, "QynVideo1").count("QynVideo1 call 102()"), 1);
    }
}

// Guards the packager's folder: with no folder given, the start-up dialog opens on the
// one the build was configured to install the sample configurations in.
TEST(StartUp, VideoDialogOpensOnTheInstalledFolder)
{
    const QString installed = QStringLiteral(QYN_CONFIGURED_VIDEO_CONFIG_DIR);
    EXPECT_EQ(frmMain::installedVideoConfFolder(), installed);
    // The dialog opens only an existing folder: make it for the test when it is missing.
    QString created = installed;
    while (!QFileInfo(QFileInfo(created).path()).exists())
        created = QFileInfo(created).path();
    const bool existed = QFileInfo(installed).isDir();
    if (!existed && !QDir().mkpath(installed))
        GTEST_SKIP() << "cannot make " << installed.toStdString();

    MainWindowHarness h;
    h.options.videoConfFolder.clear();
    QString offered;
    ModalScript script;
    script.then([&](QWidget* dialog) {
        if (auto* folders = dialog->findChild<DirListBox*>("dirConfFile"))
            offered = folders->path();
        dialog->close();
    });
    h.window().Form_Load();
    if (!existed)
        QDir(created).removeRecursively();
    EXPECT_EQ(offered, QDir::toNativeSeparators(installed));
}

namespace {

struct CommandLineRow {
    const char* name;
    const char* program;
    QStringList args;
    // Where Qt would draw: "xcb" without a display proves that no display was needed.
    const char* platform;
    int exit;
    QString out;  // standard output begins with it; standard error is then empty
    QString err;  // standard error holds it; standard output is then empty
};

class CommandLine : public testing::TestWithParam<CommandLineRow> {};

const QString version = QStringLiteral(" (QynSample) " QYN_PROJECT_VERSION "\n");

}  // namespace

// Guards the GNU options of both programs (usage or version on standard output, exit 0, no
// display needed) and qynsample's refusal of what it cannot load, before any window opens.
TEST_P(CommandLine, AnswersOrRefusesBeforeAnyWindow)
{
    const CommandLineRow& row = GetParam();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    env.insert("QT_QPA_PLATFORM", row.platform);
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(QString::fromLatin1(row.program), row.args);
    ASSERT_TRUE(process.waitForFinished(60000));
    const QString out = QString::fromUtf8(process.readAllStandardOutput());
    const QString err = QString::fromUtf8(process.readAllStandardError());
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), row.exit) << err.toStdString();
    if (row.err.isEmpty()) {
        EXPECT_TRUE(out.startsWith(row.out)) << out.toStdString();
        EXPECT_EQ(err, "");
    } else {
        EXPECT_TRUE(err.contains(row.err)) << err.toStdString();
        EXPECT_EQ(out, "");
    }
}

INSTANTIATE_TEST_SUITE_P(
    BothPrograms, CommandLine,
    testing::Values(
        CommandLineRow{"qynsample help", QYNSAMPLE_PATH, {"--help"}, "xcb", 0, "Usage: qynsample [OPTION]... [IMAGE]...\n", {}},
        CommandLineRow{"qynsample h", QYNSAMPLE_PATH, {"-h"}, "xcb", 0, "Usage: qynsample", {}},
        CommandLineRow{"qynsample version", QYNSAMPLE_PATH, {"a.bmp", "--version"}, "xcb", 0, "qynsample" + version, {}},
        CommandLineRow{"qynsample unknown option", QYNSAMPLE_PATH, {"--gray"}, "offscreen", 2, {},
                       "qynsample: unknown option '--gray'\nUsage: qynsample"},
        CommandLineRow{"qynsample four files", QYNSAMPLE_PATH, {"a.bmp", "b.bmp", "c.bmp", "d.bmp"}, "offscreen", 2,
                       {}, "qynsample: at most 3 image files, one a slot; 4 given\n"},
        CommandLineRow{"qynconvert help", QYNCONVERT_PATH, {"--help"}, "xcb", 0, "usage: qynconvert compose", {}},
        CommandLineRow{"qynconvert h", QYNCONVERT_PATH, {"-h"}, "xcb", 0, "usage: qynconvert compose", {}},
        CommandLineRow{"qynconvert help after a command", QYNCONVERT_PATH, {"gray", "in.bmp", "--help"}, "xcb", 0,
                       "usage: qynconvert compose", {}},
        CommandLineRow{"qynconvert version", QYNCONVERT_PATH, {"--version"}, "xcb", 0, "qynconvert" + version, {}}),
    NameOfCase{});

// Guards against a program that dies on a signal instead of closing (and so leaves a camera
// controlled): SIGTERM, SIGHUP and SIGINT, even while the start-up dialog is open, end it
// as closing its window does, with exit code 0.
TEST(ShutDown, ASignalEndsTheProgramAsClosingItsWindowDoes)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    for (const int signal : {SIGTERM, SIGHUP, SIGINT}) {
        SCOPED_TRACE(signal);
        QProcess process;
        process.setProcessEnvironment(env);
        process.start(QStringLiteral(QYNSAMPLE_PATH), {});
        ASSERT_TRUE(process.waitForStarted(10000));
        // The handlers are in place once the process catches the signal; the start-up
        // dialog is up a moment later.
        const QString status = QStringLiteral("/proc/%1/status").arg(process.processId());
        const auto catches = [&] {
            QFile file(status);
            if (!file.open(QIODevice::ReadOnly))
                return false;
            for (const QByteArray& line : file.readAll().split('\n'))
                if (line.startsWith("SigCgt:"))
                    return (line.mid(7).trimmed().toULongLong(nullptr, 16) >> (signal - 1) & 1) != 0;
            return false;
        };
        for (int i = 0; i < 300 && !catches(); ++i)
            QThread::msleep(50);
        QThread::msleep(1000);
        ::kill(static_cast<pid_t>(process.processId()), signal);
        ASSERT_TRUE(process.waitForFinished(20000));
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
    }
}
