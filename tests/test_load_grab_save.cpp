// Filling slots from files (by the buttons or from the command line) and the camera, and
// saving the slot the display list names, with the real file dialogs and real files.
#include "CaseName.h"
#include "ListComboBox.h"
#include "MainWindowHarness.h"
#include "ModalScript.h"
#include "QynChangeImage.h"
#include "QynFileAccess.h"
#include "QynImage.h"
#include "QynVideo.h"

#include <QAbstractButton>
#include <QCursor>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>

#include <gtest/gtest.h>

namespace {

ModalScript::Step pickFile(const QString& name)
{
    return [name](QWidget* dialog) {
        auto* files = dialog->findChild<QListWidget*>("filFile");
        ASSERT_NE(files, nullptr);
        const auto items = files->findItems(name, Qt::MatchFixedString);
        ASSERT_EQ(items.size(), 1) << name.toStdString();
        files->setCurrentItem(items.first());
        dialog->findChild<QAbstractButton*>("cmdOK")->click();
    };
}

ModalScript::Step typeName(const QString& name)
{
    return [name](QWidget* dialog) {
        dialog->findChild<QLineEdit*>("txtFilename")->setText(name);
        dialog->findChild<QAbstractButton*>("cmdOK")->click();
    };
}

ModalScript::Step cancel()
{
    return [](QWidget* dialog) { dialog->findChild<QAbstractButton*>("cmdCancel")->click(); };
}

void press(QPushButton* button, ModalScript::Step step)
{
    ModalScript script;
    script.then(std::move(step));
    button->click();
}

// An 8-bit gray BMP and a 24-bit colour BMP, 64 x 4 pixels, in the dialogs' folder.
void writeImages(const QString& folder)
{
    QImage gray(64, 4, QImage::Format_Indexed8);
    QList<QRgb> ramp;
    for (int i = 0; i < 256; ++i)
        ramp << qRgb(i, i, i);
    gray.setColorTable(ramp);
    for (int y = 0; y < gray.height(); ++y)
        for (int x = 0; x < gray.width(); ++x)
            gray.setPixel(x, y, static_cast<uint>((x * 4 + y * 9) & 255));
    ASSERT_TRUE(gray.save(folder + "/gray.bmp", "BMP"));

    QImage colour(64, 4, QImage::Format_RGB32);
    for (int y = 0; y < colour.height(); ++y)
        for (int x = 0; x < colour.width(); ++x)
            colour.setPixel(x, y, qRgb(255 - x, y * 60, x * 3));
    ASSERT_TRUE(colour.save(folder + "/colour.bmp", "BMP"));

    QFile broken(folder + "/broken.bmp");
    ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
    broken.write("BM this is no bitmap at all");
}

struct Format {
    std::int32_t depth, type;
    bool operator==(const Format&) const = default;
};

Format formatOf(frmMain& w, int slot)
{
    const QynImage* image = w.imageSlot(slot).asImage();
    return {image->bitDepth(), image->imageType()};
}

QStringList prompts(const MainWindowHarness& h)
{
    QStringList out;
    for (const auto& m : h.messages)
        out << m.prompt;
    return out;
}

std::unique_ptr<QynComponent> workingCamera()
{
    auto video = std::make_unique<FakeComponent>(QString::fromLatin1(QynVideo::ProgId));
    video->on(QynVideo::GetLastResult, resultCodes({0}));
    return video;
}

class LoadGrabSave : public testing::Test {
protected:
    void SetUp() override
    {
        writeImages(h.dir.path());
        h.start();
        h.log->clear();
    }
    frmMain& w() { return h.window(); }

    MainWindowHarness h;
};

}  // namespace

// Guards the cancelled dialogs: no component call, no message, nothing shown or written.
TEST_F(LoadGrabSave, CancelChangesNothing)
{
    press(w().cmdButton1, cancel());
    press(w().cmdSaveImage, cancel());
    EXPECT_TRUE(h.log->calls().empty());
    EXPECT_TRUE(h.messages.empty());
    EXPECT_FALSE(w().imageSlot(1).asImage()->isFilled());
}

// Guards the read failure: its own message with the code, then the format check of slot 1,
// then the slot shown anyway.
TEST_F(LoadGrabSave, UnreadableFileGivesTheReadMessageThenTheFormatMessage)
{
    w().cmbAutoBin->setListIndex(1);
    h.log->clear();
    press(w().cmdButton1, pickFile("broken.bmp"));
    ASSERT_EQ(h.messages.size(), 2u);
    EXPECT_TRUE(QRegularExpression("^Reading went wrong\\.\\(ErrCode=-?[1-9][0-9]*\\)$")
                    .match(h.messages[0].prompt)
                    .hasMatch())
        << h.messages[0].prompt.toStdString();
    EXPECT_EQ(h.messages[0].title, "Reading failure");
    EXPECT_EQ(h.messages[0].icon, MsgBoxIcon::Exclamation);
    EXPECT_EQ(h.messages[1].prompt, "It is not a color image.");
    EXPECT_EQ(h.messages[1].title, "error");
    EXPECT_EQ(h.messages[1].icon, MsgBoxIcon::None);
    EXPECT_EQ(callsOf(*h.log, "QynFileAccess1"),
              QStringList({"QynFileAccess1 put 1(\"" + h.dir.filePath("broken.bmp") + "\")",
                           "QynFileAccess1 call 112(QynImage1)", "QynFileAccess1 call 101(&int)"}));
    EXPECT_EQ(callsOf(*h.log, "QynDisplayEx1"), QStringList{"QynDisplayEx1 call 103(QynImage1)"});
}

// Guards the gray kinds: slot 1 is checked whatever slot was loaded, and "Image 3" marks it gray.
TEST_F(LoadGrabSave, GrayKindsCheckSlotOneAndImage3MarksItGray)
{
    press(w().cmdButton1, pickFile("gray.bmp"));
    press(w().cmdButton2, pickFile("colour.bmp"));
    EXPECT_TRUE(h.messages.empty()) << prompts(h).join('|').toStdString();
    EXPECT_EQ(formatOf(w(), 2), (Format{32, 2}));

    press(w().cmdButton1, pickFile("colour.bmp"));
    press(w().cmdButton2, pickFile("gray.bmp"));
    EXPECT_EQ(prompts(h), QStringList({"It is not the image of a 8-bit gray.",
                                       "It is not the picture of a 8-bit gray."}));
    EXPECT_EQ(formatOf(w(), 1), (Format{32, 2})) << "Image 2 writes nothing into slot 1";

    h.messages.clear();
    h.log->clear();
    press(w().cmdButton3, pickFile("gray.bmp"));
    EXPECT_EQ(prompts(h), QStringList{"It is not the picture of a 8-bit gray."});
    EXPECT_EQ(formatOf(w(), 1), (Format{8, 0}));
    const QStringList slot1 = callsOf(*h.log, "QynImage1");
    EXPECT_EQ(slot1.mid(slot1.size() - 2), QStringList({"QynImage1 put 3(8)", "QynImage1 put 5(0)"}));

    h.messages.clear();
    press(w().cmdButton3, pickFile("gray.bmp"));
    EXPECT_TRUE(h.messages.empty()) << "the second load finds slot 1 gray";

    // Kind 3 asks for gray too, but "Image 1" leaves the colour format as it is.
    w().cmbAutoBin->setListIndex(3);
    press(w().cmdButton1, pickFile("colour.bmp"));
    EXPECT_EQ(prompts(h), QStringList{"It is not the image of a 8-bit gray."});
    EXPECT_EQ(formatOf(w(), 1), (Format{32, 2}));
}

// Guards the colour kinds: a gray slot 1 is reported but kept and shown.
TEST_F(LoadGrabSave, ColourKindsReportAGraySlotOneAndKeepIt)
{
    for (int kind : {1, 2}) {
        SCOPED_TRACE(kind);
        w().cmbAutoBin->setListIndex(kind);
        h.messages.clear();
        h.log->clear();
        press(w().cmdButton1, pickFile("gray.bmp"));
        ASSERT_EQ(h.messages.size(), 1u);
        EXPECT_EQ(h.messages[0].prompt, "It is not a color image.");
        EXPECT_EQ(h.messages[0].title, "error");
        EXPECT_EQ(formatOf(w(), 1), (Format{8, 0}));
        EXPECT_TRUE(w().imageSlot(1).asImage()->isFilled());
        EXPECT_EQ(callsOf(*h.log, "QynDisplayEx1"), QStringList{"QynDisplayEx1 call 103(QynImage1)"});
        press(w().cmdButton1, pickFile("colour.bmp"));
        EXPECT_EQ(h.messages.size(), 1u);
    }
}

// Guards the slot saved: the one the display list names, not the one on display.
TEST_F(LoadGrabSave, SaveWritesTheListedSlotNotTheShownOne)
{
    w().cmbAutoBin->setListIndex(1);
    press(w().cmdButton1, pickFile("colour.bmp"));
    w().cmbAutoBin->setListIndex(0);
    h.log->clear();
    press(w().cmdButton2, pickFile("gray.bmp"));
    EXPECT_EQ(callsOf(*h.log, "QynDisplayEx1"), QStringList{"QynDisplayEx1 call 103(QynImage2)"});
    EXPECT_EQ(w().cmbDispImage->listIndex(), 0);
    EXPECT_EQ(w().cmbDispImage->currentText(), "image 1");
    EXPECT_EQ(prompts(h), QStringList{"It is not the picture of a 8-bit gray."});

    h.messages.clear();
    h.log->clear();
    press(w().cmdSaveImage, typeName("saved"));
    EXPECT_EQ(callsOf(*h.log, "QynFileAccess1"),
              QStringList({"QynFileAccess1 put 1(\"" + h.dir.filePath("saved.bmp") + "\")",
                           "QynFileAccess1 call 111(QynImage1)", "QynFileAccess1 call 101(&int)"}));
    const QImage saved(h.dir.filePath("saved.bmp"));
    const QImage original(h.dir.filePath("colour.bmp"));
    ASSERT_FALSE(saved.isNull());
    EXPECT_EQ(saved.convertToFormat(QImage::Format_RGB32), original.convertToFormat(QImage::Format_RGB32));
    EXPECT_TRUE(h.messages.empty());
}

// Guards saving slot 4 after a composition: the written file is the composed colour image.
TEST_F(LoadGrabSave, ImageFourSavesTheComposedImage)
{
    press(w().cmdButton1, pickFile("gray.bmp"));
    press(w().cmdButton2, pickFile("gray.bmp"));
    press(w().cmdButton3, pickFile("gray.bmp"));
    w().cmdExecute->click();
    ASSERT_TRUE(h.messages.empty()) << prompts(h).join('|').toStdString();
    EXPECT_EQ(w().cmbDispImage->currentText(), "image 4");
    press(w().cmdSaveImage, typeName("composed.bmp"));
    const QImage saved(h.dir.filePath("composed.bmp"));
    const QImage gray(h.dir.filePath("gray.bmp"));
    ASSERT_FALSE(saved.isNull());
    EXPECT_EQ(saved.format(), QImage::Format_RGB32) << "a colour file, not a gray one";
    for (int y = 0; y < gray.height(); ++y)
        for (int x = 0; x < gray.width(); ++x) {
            const int g = qGray(gray.pixel(x, y));
            ASSERT_EQ(saved.pixel(x, y) & 0xffffff, static_cast<QRgb>((g << 16) | (g << 8) | g));
        }
}

// Guards the write failure: it must be reported with its code, not pass as success.
TEST_F(LoadGrabSave, UnwritablePathGivesThePreservationMessage)
{
    press(w().cmdButton1, pickFile("gray.bmp"));
    press(w().cmdSaveImage, typeName("no-such-folder/pic.bmp"));
    ASSERT_EQ(h.messages.size(), 1u);
    EXPECT_TRUE(QRegularExpression("^Preservation went wrong\\.\\(ErrCode=-?[1-9][0-9]*\\)$")
                    .match(h.messages[0].prompt)
                    .hasMatch())
        << h.messages[0].prompt.toStdString();
    EXPECT_EQ(h.messages[0].title, "Preservation failure");
    EXPECT_EQ(h.messages[0].icon, MsgBoxIcon::Exclamation);
}

// Guards the save without a named slot: nothing written, and said so once, even after a
// failed save left a code behind.
TEST_F(LoadGrabSave, NoSlotNamedWritesNothingAndSaysSo)
{
    press(w().cmdButton1, pickFile("gray.bmp"));
    press(w().cmdSaveImage, typeName("no-such-folder/pic.bmp"));
    w().cmbDispImage->lineEdit()->selectAll();
    QTest::keyClicks(w().cmbDispImage->lineEdit(), "my picture");
    ASSERT_EQ(w().cmbDispImage->listIndex(), -1);
    for (int run = 0; run < 2; ++run) {
        h.messages.clear();
        h.log->clear();
        press(w().cmdSaveImage, typeName("nothing"));
        EXPECT_FALSE(QFile::exists(h.dir.filePath("nothing.bmp")));
        EXPECT_EQ(callsOf(*h.log, "QynFileAccess1").last(), "QynFileAccess1 call 101(&int)");
        EXPECT_FALSE(callsOf(*h.log, "QynFileAccess1").join(' ').contains("call 111"));
        ASSERT_EQ(h.messages.size(), 1u);
        EXPECT_EQ(h.messages[0].prompt, "No image is selected in \"Display Image\". Nothing was written.");
        EXPECT_EQ(h.messages[0].title, "Preservation failure");
        EXPECT_EQ(h.messages[0].icon, MsgBoxIcon::Exclamation);
    }
}

namespace {

struct StartFilesRow {
    const char* name;
    QStringList files;  // in the dialogs' folder
    int kind;           // the conversion kind picked before the loads
    QStringList prompts;
};

class StartFiles : public LoadGrabSave, public testing::WithParamInterface<StartFilesRow> {};

}  // namespace

// Guards the command line's files: the kind that fits them is picked first, then they load
// into slots 1, 2, 3 with the very calls and messages of picking that kind and pressing
// "Image 1", "Image 2", "Image 3" in a window started alike.
TEST_P(StartFiles, PickAFittingKindThenLoadAsTheImageButtons)
{
    const StartFilesRow& row = GetParam();
    QStringList paths;
    for (const QString& name : row.files)
        paths << h.dir.filePath(name);
    w().loadStartFiles(paths);
    EXPECT_EQ(w().cmbAutoBin->listIndex(), row.kind);
    EXPECT_EQ(prompts(h), row.prompts);

    MainWindowHarness byHand;
    byHand.options.applicationFolder = h.dir.path();
    byHand.start();
    byHand.log->clear();
    byHand.window().cmbAutoBin->setListIndex(row.kind);
    QPushButton* const buttons[] = {byHand.window().cmdButton1, byHand.window().cmdButton2,
                                    byHand.window().cmdButton3};
    for (qsizetype i = 0; i < row.files.size(); ++i)
        press(buttons[i], pickFile(row.files[i]));
    EXPECT_EQ(h.log->texts(), byHand.log->texts());
    EXPECT_EQ(prompts(h), prompts(byHand));
    for (int slot = 1; slot <= 3; ++slot)
        EXPECT_EQ(formatOf(w(), slot), formatOf(byHand.window(), slot)) << "slot " << slot;
}

INSTANTIATE_TEST_SUITE_P(
    CommandLine, StartFiles,
    testing::Values(StartFilesRow{"none", {}, 0, {}},
                    StartFilesRow{"one colour file is decomposed", {"colour.bmp"}, 1, {}},
                    StartFilesRow{"one gray file is coloured", {"gray.bmp"}, 3, {}},
                    StartFilesRow{"three gray files are composed", {"gray.bmp", "gray.bmp", "gray.bmp"}, 0, {}},
                    StartFilesRow{"two files are composed", {"gray.bmp", "colour.bmp"}, 0, {}},
                    StartFilesRow{"a colour file first is composed with the buttons' warnings",
                                  {"colour.bmp", "gray.bmp", "gray.bmp"},
                                  0,
                                  {"It is not the image of a 8-bit gray.", "It is not the picture of a 8-bit gray.",
                                   "It is not the picture of a 8-bit gray."}},
                    StartFilesRow{"an unreadable file keeps the start-up kind",
                                  {"broken.bmp"},
                                  0,
                                  {QStringLiteral("Reading went wrong.(ErrCode=%1)").arg(QynFileAccess::NotAnImage)}}),
    NameOfCase{});

// Guards the grab order: PrepareImage right before every Grab, then the slot shown, the
// display list untouched.
TEST(Grab, PreparesBeforeEveryGrabAndShowsTheSlot)
{
    MainWindowHarness h;
    h.replace("QynVideo1", workingCamera);
    h.start(h.dir.filePath("camera.ini"));
    frmMain& w = h.window();
    ASSERT_FALSE(w.cmdButton5->isHidden());
    h.log->clear();
    w.cmdButton5->click();
    w.cmdButton5->click();
    const QStringList once = {"QynVideo1 call 103(QynImage2)", "QynVideo1 call 200(QynImage2)",
                              "QynDisplayEx1 call 103(QynImage2)"};
    EXPECT_EQ(h.log->texts(), once + once);
    EXPECT_EQ(w.cmbDispImage->listIndex(), 0);
    w.cmbAutoBin->setListIndex(2);
    h.log->clear();
    w.cmdButton4->click();
    EXPECT_EQ(h.log->texts().first(), "QynVideo1 call 103(QynImage1)");
    EXPECT_TRUE(h.messages.empty());
}

// Guards against a window that blocks with no sign of life, or that keeps the wait cursor
// over a message box or after a failure: the cursor is busy inside each slow call, at no
// message, and gone once the handler has ended.
TEST(BusyCursor, CoversEachSlowCallButNoMessageAndIsGoneAfterFailures)
{
    struct Row {
        const char* name;
        const char* instance;
        const char* progId;
        std::int32_t slowCall;
        QynStatus slowStatus;
        std::vector<std::int32_t> codes;
        std::function<void(MainWindowHarness&)> act;
    };
    const QString camera = QStringLiteral("camera.ini");
    const auto started = [](MainWindowHarness& h) { h.start(); };
    const Row rows[] = {
        {"camera that does not open", "QynVideo1", QynVideo::ProgId, QynVideo::OpenDevice,
         QynStatus::Ok, {QynVideo::DeviceFailed}, [&](MainWindowHarness& h) { h.start(camera); }},
        {"camera without a first frame", "QynVideo1", QynVideo::ProgId, QynVideo::Grab,
         QynStatus::Ok, {0, QynVideo::Timeout}, [&](MainWindowHarness& h) { h.start(camera); }},
        {"grab", "QynVideo1", QynVideo::ProgId, QynVideo::Grab, QynStatus::Ok, {0},
         [&](MainWindowHarness& h) {
             h.start(camera);
             h.window().cmdButton5->click();
         }},
        {"file that does not load", "QynFileAccess1", QynFileAccess::ProgId, QynFileAccess::LoadImage,
         QynStatus::Ok, {2002},
         [&](MainWindowHarness& h) {
             started(h);
             press(h.window().cmdButton1, pickFile("gray.bmp"));
         }},
        {"file that is not saved", "QynFileAccess1", QynFileAccess::ProgId, QynFileAccess::SaveImage,
         QynStatus::Ok, {2008},
         [&](MainWindowHarness& h) {
             started(h);
             press(h.window().cmdSaveImage, typeName("pic"));
         }},
        {"conversion that fails", "QynChangeImage1", QynChangeImage::ProgId,
         QynChangeImage::ComposeChannels, QynStatus::Failed, {1550},
         [&](MainWindowHarness& h) {
             started(h);
             h.window().cmdExecute->click();
         }},
    };
    const auto busy = [] {
        const QCursor* cursor = QGuiApplication::overrideCursor();
        return cursor && cursor->shape() == Qt::WaitCursor;
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        MainWindowHarness h;
        writeImages(h.dir.path());
        std::vector<bool> inCall, atMessage;
        h.replace(row.instance, [&] {
            auto fake = std::make_unique<FakeComponent>(QString::fromLatin1(row.progId));
            fake->on(row.slowCall, [&](std::span<const QynVariant>) -> QynCallResult {
                inCall.push_back(busy());
                return {row.slowStatus, {}};
            });
            const QString instance = QString::fromLatin1(row.instance);
            const std::int32_t lastResult = instance == "QynChangeImage1" ? std::int32_t{QynChangeImage::GetLastResult}
                                            : instance == "QynVideo1"     ? std::int32_t{QynVideo::GetLastResult}
                                                                          : std::int32_t{QynFileAccess::GetLastResult};
            fake->on(lastResult, resultCodes(row.codes));
            return fake;
        });
        MsgBoxHook recorded;
        recorded = setMsgBoxHook([&](const MsgBoxRequest& request) {
            atMessage.push_back(busy());
            recorded(request);
        });
        row.act(h);
        setMsgBoxHook(recorded);
        EXPECT_FALSE(inCall.empty());
        EXPECT_EQ(inCall, std::vector<bool>(inCall.size(), true));
        EXPECT_EQ(atMessage, std::vector<bool>(atMessage.size(), false));
        EXPECT_EQ(atMessage.empty(), row.codes.back() == 0);
        EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    }
}
