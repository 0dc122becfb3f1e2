// The main window's controls, components and resize rule, the conversion kind panel and
// the display list.
#include "ApplicationIcon.h"
#include "ListComboBox.h"
#include "MainWindowHarness.h"
#include "QynDisplayEx.h"
#include "QynImage.h"
#include "QynTwips.h"
#include "QynVideo.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

namespace {

struct ControlRow {
    const char* name;
    const char* caption;  // nullptr: not checked
    int left, top, width, height;
    bool inFrame;
};

const ControlRow designRows[] = {
    {"Frame1", "Image Conversion", 120, 120, 3375, 4155, false},
    {"cmbAutoBin", nullptr, 120, 480, 3135, 315, true},
    {"cmdButton4", "Grab1", 240, 1080, 1215, 375, true},
    {"cmdButton5", "Grab2", 240, 1560, 1215, 375, true},
    {"cmdButton6", "Grab3", 240, 2040, 1215, 375, true},
    {"cmdButton1", "Image 1", 1800, 1080, 1215, 375, true},
    {"cmdButton2", "Image 2", 1800, 1560, 1215, 375, true},
    {"cmdButton3", "Image 3", 1800, 2040, 1215, 345, true},
    {"lblParam1", "Param1", 360, 2760, 1695, 195, true},
    {"lblParam2", "Param2", 360, 3120, 1695, 195, true},
    {"lblParam3", "Param3", 360, 3480, 1695, 195, true},
    {"txtParam1", "0", 2160, 2640, 735, 315, true},
    {"txtParam2", "0", 2160, 3000, 735, 315, true},
    {"txtParam3", "0", 2160, 3360, 735, 315, true},
    {"Label2", "A full-screen image of the processing object can be viewed.", 120, 3720, 3015, 375, true},
    {"Label3", "Display Image", 240, 4680, 1215, 255, false},
    {"cmbDispImage", "Combo1", 1560, 4680, 1815, 315, false},
    {"cmdExecute", "Execute", 120, 6480, 1575, 495, false},
    {"cmdSaveImage", "Save Image", 1920, 6480, 1575, 495, false},
    {"Label1", "Time", 240, 7320, 855, 195, false},
    {"txtExecuteTime", "0", 1440, 7200, 1695, 315, false},
    {"QynDisplayEx1", nullptr, 3600, 120, 7935, 7455, false},
};

QString captionOf(QWidget* w)
{
    if (auto* b = qobject_cast<QPushButton*>(w))
        return b->text();
    if (auto* l = qobject_cast<QLabel*>(w))
        return l->text();
    if (auto* t = qobject_cast<QLineEdit*>(w))
        return t->text();
    if (auto* g = qobject_cast<QGroupBox*>(w))
        return g->title();
    if (auto* c = qobject_cast<QComboBox*>(w))
        return c->currentText();
    return {};
}

// Names of the visible slot buttons and parameter rows, in control order.
QStringList shownInFrame(frmMain& w)
{
    QStringList out;
    for (QWidget* c : {static_cast<QWidget*>(w.cmdButton1), static_cast<QWidget*>(w.cmdButton2),
                       static_cast<QWidget*>(w.cmdButton3), static_cast<QWidget*>(w.cmdButton4),
                       static_cast<QWidget*>(w.cmdButton5), static_cast<QWidget*>(w.cmdButton6),
                       static_cast<QWidget*>(w.lblParam1), static_cast<QWidget*>(w.lblParam2),
                       static_cast<QWidget*>(w.lblParam3), static_cast<QWidget*>(w.txtParam1),
                       static_cast<QWidget*>(w.txtParam2), static_cast<QWidget*>(w.txtParam3)})
        if (!c->isHidden())
            out << c->objectName();
    return out;
}

std::unique_ptr<QynComponent> workingCamera()
{
    auto video = std::make_unique<FakeComponent>(QString::fromLatin1(QynVideo::ProgId));
    video->on(QynVideo::GetLastResult, resultCodes({0}));
    return video;
}

// A display whose container properties are those of the design position.
std::unique_ptr<QynComponent> displayAtDesignPlace()
{
    auto display = std::make_unique<FakeComponent>(QString::fromLatin1(QynDisplayEx::ProgId));
    display->on(QynDisplayEx::Left, [](auto) { return QynCallResult{QynStatus::Ok, 3600.0}; },
                QynCallKind::PropertyGet);
    display->on(QynDisplayEx::Top, [](auto) { return QynCallResult{QynStatus::Ok, 120.0}; },
                QynCallKind::PropertyGet);
    return display;
}

}  // namespace

// Guards the design table: a control misnamed, misplaced, outside its frame or with a wrong text.
TEST(MainWindowLayout, ControlsHaveTheirDesignNamesPlacesAndTexts)
{
    MainWindowHarness h;
    frmMain& w = h.window();
    EXPECT_EQ(w.windowTitle(), "QynSample - Color And Gray Image Conversion");
    EXPECT_EQ(w.size(), QSize(qyn::twipsToPixels(11640), qyn::twipsToPixels(7800)));
    for (const ControlRow& row : designRows) {
        SCOPED_TRACE(row.name);
        auto* control = w.findChild<QWidget*>(QString::fromLatin1(row.name));
        ASSERT_NE(control, nullptr);
        EXPECT_EQ(control->geometry(), qyn::twipsRect(row.left, row.top, row.width, row.height));
        EXPECT_EQ(control->parentWidget(), row.inFrame ? static_cast<QWidget*>(w.Frame1) : &w);
        if (row.caption) {
            EXPECT_EQ(captionOf(control), QString::fromUtf8(row.caption));
        }
        EXPECT_EQ(control->font().family(), "MS Sans Serif");
        EXPECT_DOUBLE_EQ(control->font().pointSizeF(), 8.25);
        EXPECT_TRUE(control->isEnabled());
    }
    for (QLineEdit* field : {w.txtParam1, w.txtParam2, w.txtParam3, w.txtExecuteTime})
        EXPECT_TRUE(field->alignment() & Qt::AlignRight) << field->objectName().toStdString();
    for (QLabel* label : {w.lblParam1, w.lblParam2, w.lblParam3, w.Label1})
        EXPECT_TRUE(label->alignment() & Qt::AlignRight) << label->objectName().toStdString();
    EXPECT_FALSE(w.cmbAutoBin->isEditable());
    EXPECT_TRUE(w.cmbDispImage->isEditable());
    EXPECT_EQ(w.cmbAutoBin->count(), 0);
    EXPECT_EQ(w.cmbDispImage->listIndex(), -1);
}

// Guards the components' creation: a wrong ProgID, instance name or stored setting.
TEST(MainWindowLayout, ComponentsAreCreatedByProgIdWithTheirStoredSettings)
{
    MainWindowHarness h;
    h.window();
    QStringList made;
    for (const auto& c : h.created)
        made << QStringLiteral("%1 %2 {%3}").arg(c.instanceName, c.progId, c.settings.join(','));
    const QString slotSettings = QStringLiteral("{512,480,8,1,1,0,512}");
    EXPECT_EQ(made, QStringList({
                        "QynImage1 QYNCOMIMAGELibCtl.QynImage " + slotSettings,
                        "QynImage2 QYNCOMIMAGELibCtl.QynImage " + slotSettings,
                        "QynImage3 QYNCOMIMAGELibCtl.QynImage " + slotSettings,
                        "QynImage4 QYNCOMIMAGELibCtl.QynImage " + slotSettings,
                        "QynDisplayEx1 QYNCOMDISPLAYEXLibCtl.QynDisplayEx {}",
                        "QynVideo1 QYNCOMVIDEOLibCtl.QynVideo {\"\",\"\"}",
                        "QynFileAccess1 QYNCOMFILEACCESSLibCtl.QynFileAccess {\"\"}",
                        "QynChangeImage1 QYNCOMCHANGEIMAGELibCtl.QynChangeImage {-1,-1,-1,-1}",
                        "QynPerformanceCounter1 QYNCOMPERFORMANCECOUNTERLibCtl.QynPerformanceCounter {}",
                    }));
}

// Guards the window's icon: without an installed theme icon the built-in copy must be
// there (a resource left out of the link gives a null icon), sharp from 16 to 256 pixels.
TEST(MainWindowLayout, TheIconComesInEverySizeTheDesktopAsksFor)
{
    const QIcon icon = qyn::applicationIcon();
    ASSERT_FALSE(icon.isNull());
    for (const int size : {16, 48, 256})
        EXPECT_EQ(icon.pixmap(size).size(), QSize(size, size)) << size;
}

// Guards the resize rule: the display must follow the outer size, clamp at zero and
// nothing else may move.
TEST(MainWindowLayout, OnlyTheDisplayFollowsTheOuterWindowSize)
{
    MainWindowHarness h;
    h.replace(QStringLiteral("QynDisplayEx1"), displayAtDesignPlace);
    h.start();
    frmMain& w = h.window();
    const QRect frame = w.Frame1->geometry();
    const QRect save = w.cmdSaveImage->geometry();

    auto lastSize = [&] {
        QStringList puts;
        for (const auto& call : h.log->calls())
            if (call.kind == QynCallKind::PropertyPut)
                puts << call.text();
        return puts.mid(puts.size() - 2);
    };
    auto expected = [&](double width, double height) {
        return QStringList{QStringLiteral("QynDisplayEx1 put 1003(%1)").arg(width, 0, 'g', 17),
                           QStringLiteral("QynDisplayEx1 put 1004(%1)").arg(height, 0, 'g', 17)};
    };

    for (const QSize size : {QSize(1000, 700), QSize(600, 400), QSize(100, 30)}) {
        SCOPED_TRACE(size.width());
        w.resize(size);
        QCoreApplication::processEvents();
        const QRect outer = w.frameGeometry();
        const double width = std::max(0.0, outer.width() * 15.0 - 3600 - 200);
        const double height = std::max(0.0, outer.height() * 15.0 - 120 - 500);
        EXPECT_EQ(lastSize(), expected(width, height));
        EXPECT_EQ(w.Frame1->geometry(), frame);
        EXPECT_EQ(w.cmdSaveImage->geometry(), save);
    }
}

// Guards the real display against a resize that its container properties do not carry out.
TEST(MainWindowLayout, TheRealDisplayTakesTheSizeTheRuleGives)
{
    MainWindowHarness h;
    h.start();
    frmMain& w = h.window();
    w.resize(900, 640);
    QCoreApplication::processEvents();
    QWidget* area = w.QynDisplayEx1().widget();
    ASSERT_NE(area, nullptr);
    const QRect outer = w.frameGeometry();
    EXPECT_EQ(area->pos(), qyn::twipsRect(3600, 120, 0, 0).topLeft());
    EXPECT_EQ(area->width(), qyn::twipsToPixels(outer.width() * 15.0 - 3800));
    EXPECT_EQ(area->height(), qyn::twipsToPixels(outer.height() * 15.0 - 620));
}

// Guards the kind panel: wrong buttons for a kind, grab buttons without a camera, or
// parameters left over from kind 2.
TEST(KindPanel, OffersTheButtonsAndRowsOfEachKind)
{
    const QStringList rows = {"lblParam1", "lblParam2", "lblParam3", "txtParam1", "txtParam2", "txtParam3"};
    for (const bool camera : {false, true}) {
        SCOPED_TRACE(camera ? "camera" : "files");
        MainWindowHarness h;
        if (camera) {
            h.replace(QStringLiteral("QynVideo1"), workingCamera);
            h.start(h.dir.filePath(QStringLiteral("camera.ini")));
        } else {
            h.start();
        }
        frmMain& w = h.window();
        ASSERT_EQ(w.blnVideoInUse(), camera);
        const QStringList kind0 = camera ? QStringList{"cmdButton4", "cmdButton5", "cmdButton6"}
                                         : QStringList{"cmdButton1", "cmdButton2", "cmdButton3"};
        const QString one = camera ? "cmdButton4" : "cmdButton1";
        EXPECT_EQ(shownInFrame(w), kind0) << "after start-up";

        w.cmbAutoBin->setListIndex(2);
        EXPECT_EQ(shownInFrame(w), QStringList{one} + rows);
        EXPECT_EQ(w.lblParam1->text() + w.lblParam2->text() + w.lblParam3->text(), "RedGreenBlue");
        w.txtParam1->setText("5");
        w.cmbAutoBin->setListIndex(2);
        EXPECT_EQ(w.txtParam1->text() + "," + w.txtParam2->text() + "," + w.txtParam3->text(), "299,587,144");

        w.cmbAutoBin->setListIndex(1);
        EXPECT_EQ(shownInFrame(w), QStringList{"cmdButton1"}) << "decomposition takes files only";
        EXPECT_EQ(w.txtParam1->text() + w.txtParam2->text() + w.txtParam3->text(), "000");
        EXPECT_EQ(w.lblParam1->text(), "Param1");

        w.cmbAutoBin->setListIndex(3);
        EXPECT_EQ(shownInFrame(w), QStringList{one});
        w.cmbAutoBin->setListIndex(0);
        EXPECT_EQ(shownInFrame(w), kind0);

        w.cmbAutoBin->setListIndex(2);
        w.cmbAutoBin->setListIndex(-1);
        EXPECT_TRUE(shownInFrame(w).isEmpty());
        EXPECT_EQ(w.lblParam3->text(), "Param3");
        EXPECT_EQ(w.txtParam3->text(), "0");
    }
}

// Guards the kind panel against running only for the operator's pick and not for a pick
// made with the popup (activated), and the display list against an index Qt would keep.
TEST(DisplayList, PicksShowTheirSlotAndTypedTextSelectsNothing)
{
    MainWindowHarness h;
    h.start();
    frmMain& w = h.window();
    EXPECT_EQ(w.cmbDispImage->currentText(), "image 1");
    EXPECT_EQ(w.cmbAutoBin->currentText(), "Gray memory channel composition");
    h.log->clear();

    emit w.cmbDispImage->activated(3);  // the operator's pick in the popup
    EXPECT_EQ(w.cmbDispImage->listIndex(), 3);
    EXPECT_EQ(callsOf(*h.log, "QynDisplayEx1"), QStringList{"QynDisplayEx1 call 103(QynImage4)"});

    h.log->clear();
    w.cmbDispImage->lineEdit()->selectAll();
    QTest::keyClicks(w.cmbDispImage->lineEdit(), "nothing");
    EXPECT_EQ(w.cmbDispImage->listIndex(), -1);
    EXPECT_EQ(w.cmbDispImage->count(), 4) << "typed text must not become an entry";
    w.cmbDispImage->setListIndex(-1);
    EXPECT_TRUE(h.log->calls().empty()) << "index -1 shows nothing";

    w.cmbDispImage->lineEdit()->selectAll();
    QTest::keyClicks(w.cmbDispImage->lineEdit(), "image 3");
    EXPECT_EQ(w.cmbDispImage->listIndex(), 2);
    EXPECT_TRUE(h.log->calls().empty()) << "typing is no pick";
    QTest::keyClick(w.cmbDispImage->lineEdit(), Qt::Key_Return);
    QTest::keyClick(w.cmbDispImage->lineEdit(), Qt::Key_Tab);
    EXPECT_EQ(w.cmbDispImage->listIndex(), 2);
    EXPECT_TRUE(h.log->calls().empty()) << "Enter or Tab after typing is no pick either";

    emit w.cmbAutoBin->activated(1);
    EXPECT_EQ(shownInFrame(w), QStringList{"cmdButton1"});
}
