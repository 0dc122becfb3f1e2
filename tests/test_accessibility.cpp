// What assistive technology reads of the program: names, descriptions, focus order.
#include "DialogTestSupport.h"
#include "FileLoadWindow.h"
#include "FileSaveWindow.h"
#include "ListComboBox.h"
#include "MainWindowHarness.h"
#include "ModalScript.h"
#include "QynImage.h"
#include "SelectVideoConfFileWindow.h"
#include "SlotFill.h"

#include <QAccessible>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyleOptionComboBox>
#include <QTest>

#include <algorithm>

#include <gtest/gtest.h>

namespace {

QString accessible(QWidget* widget, QAccessible::Text text)
{
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(widget);
    return iface ? iface->text(text) : QStringLiteral("<no interface>");
}

// The name of the label that labels the widget, as screen readers on Linux read it.
QString labelOf(QWidget* widget)
{
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(widget);
    const auto labels = iface ? iface->relations(QAccessible::Label) : decltype(iface->relations()){};
    return labels.isEmpty() ? QString() : labels.first().first->text(QAccessible::Name);
}

}  // namespace

// Guards the names of the fields: a field named by a stale caption, or not named at all.
TEST(Accessibility, FieldsAreNamedByTheirLabels)
{
    MainWindowHarness h;
    h.start();
    frmMain& w = h.window();
    EXPECT_EQ(accessible(w.txtExecuteTime, QAccessible::Name), "Time");
    // A combo box's own name is its text on Linux; its label comes as a relation.
    EXPECT_EQ(w.cmbDispImage->accessibleName(), "Display Image");
    EXPECT_EQ(labelOf(w.cmbDispImage), "Display Image");
    EXPECT_EQ(labelOf(w.txtParam1), "Param1");
    EXPECT_EQ(accessible(w.txtParam1, QAccessible::Name), "Param1");
    w.cmbAutoBin->setListIndex(2);
    EXPECT_EQ(accessible(w.txtParam1, QAccessible::Name), "Red");
    EXPECT_EQ(accessible(w.txtParam2, QAccessible::Name), "Green");
    EXPECT_EQ(accessible(w.txtParam3, QAccessible::Name), "Blue");
    w.cmbAutoBin->setListIndex(0);
    EXPECT_EQ(accessible(w.txtParam3, QAccessible::Name), "Param3");
    EXPECT_EQ(w.lblParam1->buddy(), w.txtParam1);
}

// Guards the descriptions: every named widget of the window describes itself by its name.
TEST(Accessibility, EveryNamedWidgetIsDescribedByItsObjectName)
{
    MainWindowHarness h;
    h.start();
    frmMain& w = h.window();
    int checked = 0;
    for (QWidget* child : w.findChildren<QWidget*>()) {
        if (child->objectName().isEmpty() || child->objectName().startsWith("qt_"))
            continue;
        EXPECT_EQ(accessible(child, QAccessible::Description), child->objectName());
        ++checked;
    }
    EXPECT_GE(checked, 22);
    EXPECT_EQ(accessible(&w, QAccessible::Description), "frmMain");
}

// Guards the dialogs and message boxes made later: the filter must reach them too.
TEST(Accessibility, DialogsAndMessageBoxesAreDescribed)
{
    MainWindowHarness h;
    frmMain& w = h.window();
    QString dialogOk, dialogTick, boxText;
    ModalScript script;
    script.then([&](QWidget* dialog) {
        dialogOk = accessible(dialog->findChild<QWidget*>("cmdOK"), QAccessible::Description);
        dialogTick = accessible(dialog->findChild<QWidget*>("chkNotUseCamera"), QAccessible::Description);
        dialog->close();
    });
    w.Form_Load();
    EXPECT_EQ(dialogOk, "cmdOK");
    EXPECT_EQ(dialogTick, "chkNotUseCamera");

    // A real message box, outside the harness's capture.
    const MsgBoxHook captured = setMsgBoxHook({});
    ModalScript boxScript;
    boxScript.then([&](QWidget* box) {
        boxText = accessible(box->findChild<QLabel*>("qt_msgbox_label"), QAccessible::Description);
        box->close();
    });
    MsgBox("Reading went wrong.(ErrCode=3)", MsgBoxIcon::Exclamation, "Reading failure");
    setMsgBoxHook(captured);
    EXPECT_EQ(boxText, "qt_msgbox_label");
}

// Guards the display's name: it must say which slot is shown, or that the slot is empty.
TEST(Accessibility, DisplayIsNamedAfterTheSlotItShows)
{
    MainWindowHarness h;
    h.start();
    frmMain& w = h.window();
    QWidget* area = w.QynDisplayEx1().widget();
    ASSERT_NE(area, nullptr);
    EXPECT_EQ(accessible(area, QAccessible::Name), "empty");
    fixture::fillPattern(*w.imageSlot(3).asImage(), 32, 2, QynPixelFormat::Gray8);
    w.cmbDispImage->setListIndex(2);
    EXPECT_EQ(accessible(area, QAccessible::Name), "image 3");
    w.cmbDispImage->setListIndex(3);
    EXPECT_EQ(accessible(area, QAccessible::Name), "empty");
}

// Guards the keyboard order: focus must start on "Save Image" and follow the design's order.
TEST(Accessibility, FocusStartsOnSaveImageAndFollowsTheTabOrder)
{
    MainWindowHarness h;
    h.start();
    frmMain& w = h.window();
    w.cmbAutoBin->setListIndex(2);  // every parameter row shown
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    EXPECT_EQ(QApplication::focusWidget(), w.cmdSaveImage);

    const QStringList expected = {"cmdSaveImage", "cmdExecute",    "txtExecuteTime",
                                  "QynDisplayEx1", "cmbAutoBin",   "txtParam3",
                                  "txtParam2",     "txtParam1",    "cmbDispImage",
                                  "cmdButton1",    "cmdMeasure",   "cmdSaveImage"};  // Measure: after the design's controls
    QStringList order;
    for (qsizetype i = 0; i < expected.size(); ++i) {
        QWidget* focused = QApplication::focusWidget();
        if (!focused)
            break;
        order << focused->objectName();
        QTest::keyClick(focused, Qt::Key_Tab);
    }
    EXPECT_EQ(order, expected);
}

// Guards against texts cut by their controls: a font wider than the layout was drawn for,
// a caption too long for its control, an open list narrower than its entries.
TEST(Accessibility, EveryTextIsWhollyVisible)
{
    MainWindowHarness h;
    h.start();
    frmMain& w = h.window();
    EXPECT_EQ(QFontInfo(w.font()).family(), "Liberation Sans") << "the font the package depends on";
    const QString folder = h.dir.path();
    const QString pattern = QStringLiteral("*.bmp");
    const QString extension = QStringLiteral("bmp");
    SelectVideoConfFileWindow video(folder);
    FileLoadWindow load(folder, pattern);
    FileSaveWindow save(folder, pattern, extension);
    for (QWidget* window : std::initializer_list<QWidget*>{&w, &video, &load, &save}) {
        window->show();  // the styles' sizes are those of a shown window
        EXPECT_EQ(cutTexts(window), QStringList()) << window->objectName().toStdString();
        window->hide();
    }
    // The kind list shows its entry whole in the closed box too: the style draws it in the
    // edit field less a pixel each side, and a glyph's ink may pass its advance.
    QStyleOptionComboBox option;
    option.initFrom(w.cmbAutoBin);
    const int textArea = w.cmbAutoBin->style()
                             ->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, w.cmbAutoBin)
                             .width() - 2;
    const QFontMetrics metrics = w.cmbAutoBin->fontMetrics();
    for (int i = 0; i < w.cmbAutoBin->count(); ++i)
        EXPECT_LE(std::max(metrics.horizontalAdvance(w.cmbAutoBin->itemText(i)),
                           metrics.boundingRect(w.cmbAutoBin->itemText(i)).width()), textArea)
            << w.cmbAutoBin->itemText(i).toStdString();
}
