// The measure window on the main window's display: opened by Ctrl+M and its button, its
// numbers following each image shown, the lines and rectangles the operator draws or
// types, and Copy.
#include "MainWindowHarness.h"
#include "MeasureWindow.h"
#include "QynDisplayEx.h"
#include "QynImage.h"
#include "QynMeasureText.h"
#include "QynRegionStats.h"
#include "SlotFill.h"

#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>

namespace {

// Where the centre of an image pixel lies on the display, in its logical pixels.
QPoint centreOf(const QynDisplayEx& display, QPoint pixel)
{
    return (display.view().toScreen(QPointF(pixel) + QPointF(0.5, 0.5)) / display.devicePixelRatioF()).toPoint();
}

void drag(QynDisplayEx& display, QPoint from, QPoint to, Qt::KeyboardModifiers modifiers)
{
    const auto send = [&](QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons buttons) {
        QMouseEvent event(type, QPointF(at), display.mapToGlobal(QPointF(at)), button, buttons, modifiers);
        QApplication::sendEvent(&display, &event);
    };
    send(QEvent::MouseButtonPress, centreOf(display, from), Qt::LeftButton, Qt::LeftButton);
    send(QEvent::MouseMove, (centreOf(display, from) + centreOf(display, to)) / 2, Qt::NoButton, Qt::LeftButton);
    send(QEvent::MouseMove, centreOf(display, to), Qt::NoButton, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, centreOf(display, to), Qt::LeftButton, Qt::NoButton);
}

}  // namespace

TEST(MeasureWindow, FollowsEveryImageShownAndWhatTheOperatorDrawsOrTypes)
{
    // Guards against numbers left from an earlier image, a line or rectangle taken in
    // screen rather than image pixels (so moving under zoom), plain drags that stop
    // panning, a Copy that differs from what is shown, and a window outliving the program.
    MainWindowHarness h;
    h.start();
    frmMain& w = h.window();
    auto& display = *qobject_cast<QynDisplayEx*>(w.QynDisplayEx1().widget());
    // The new button lies in free space: it covers no control of the design.
    for (QWidget* other : w.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (other != w.cmdMeasure && other->isVisible()) {
            EXPECT_FALSE(other->geometry().intersects(w.cmdMeasure->geometry())) << other->objectName().toStdString();
        }
    }

    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_M, Qt::ControlModifier);
    MeasureWindow& measure = w.measureWindow();
    ASSERT_TRUE(measure.isVisible());
    auto* stats = measure.findChild<QPlainTextEdit*>("txtStats");
    auto* profile = measure.findChild<QPlainTextEdit*>("txtProfile");
    auto* region = measure.findChild<QLineEdit*>("txtRegion");
    auto* line = measure.findChild<QLineEdit*>("txtLine");
    ASSERT_TRUE(stats && profile && region && line);
    EXPECT_EQ(stats->accessibleName(), "Statistics");

    QynImage colour, gray;
    fixture::fillPattern(colour, 37, 21, QynPixelFormat::Color32, 4);
    fixture::fillPattern(gray, 64, 48, QynPixelFormat::Gray8, 9);
    display.showImage(colour);
    QCoreApplication::processEvents();
    EXPECT_EQ(stats->toPlainText(), qyn::statsText(QynRegionStats::of(*colour.pixels())));
    const int measured = measure.measureCount();
    display.showImage(gray);
    display.showImage(gray);  // two frames before the next turn of the event loop: one measurement
    QCoreApplication::processEvents();
    EXPECT_EQ(measure.measureCount(), measured + 1);
    EXPECT_EQ(stats->toPlainText(), qyn::statsText(QynRegionStats::of(*gray.pixels())));

    // Typed: a rectangle and a line, in image pixels.
    region->setFocus();
    region->selectAll();
    QTest::keyClicks(region, "3,4,5,6");
    QTest::keyClick(region, Qt::Key_Return);
    QCoreApplication::processEvents();
    EXPECT_EQ(measure.region(), QRect(3, 4, 5, 6));
    EXPECT_EQ(stats->toPlainText(), qyn::statsText(QynRegionStats::of(*gray.pixels(), QRect(3, 4, 5, 6))));
    line->setFocus();
    QTest::keyClicks(line, "0,0,63,47");
    QTest::keyClick(line, Qt::Key_Return);
    QCoreApplication::processEvents();
    EXPECT_EQ(measure.line(), QLine(0, 0, 63, 47));
    EXPECT_EQ(profile->toPlainText(), qyn::profileText(QynLineProfile::of(*gray.pixels(), QLine(0, 0, 63, 47))));
    region->setFocus();
    region->selectAll();
    QTest::keyClicks(region, "3,4,0,6");  // no rectangle: the one measured stays
    QTest::keyClick(region, Qt::Key_Return);
    QCoreApplication::processEvents();
    EXPECT_EQ(measure.region(), QRect(3, 4, 5, 6));
    EXPECT_EQ(region->text(), "3,4,5,6");

    // Drawn: Shift+drag a line, Ctrl+drag a rectangle, zoomed in and panned.
    display.setFocus();
    for (int i = 0; i < 3; ++i)
        QTest::keyClick(&display, Qt::Key_Plus);
    QTest::keyClick(&display, Qt::Key_Right);
    const QynDisplayView before = display.view();
    const QPoint a = display.pixelNearest(QPointF(display.width() / 3, display.height() / 3)).value();
    const QPoint b = display.pixelNearest(QPointF(display.width() * 2 / 3, display.height() / 2)).value();
    ASSERT_NE(a, b);
    drag(display, a, b, Qt::ShiftModifier);
    QCoreApplication::processEvents();
    EXPECT_EQ(measure.line(), QLine(a, b));
    EXPECT_EQ(profile->toPlainText(), qyn::profileText(QynLineProfile::of(*gray.pixels(), QLine(a, b))));
    drag(display, b, a, Qt::ControlModifier);
    QCoreApplication::processEvents();
    const QRect spanned(QPoint(std::min(a.x(), b.x()), std::min(a.y(), b.y())),
                        QPoint(std::max(a.x(), b.x()), std::max(a.y(), b.y())));
    EXPECT_EQ(measure.region(), spanned);
    EXPECT_EQ(display.view().placed(), before.placed()) << "a measuring drag must not pan";
    drag(display, a, b, Qt::NoModifier);  // a plain drag pans and leaves both where they are
    QCoreApplication::processEvents();
    EXPECT_NE(display.view().placed(), before.placed());
    EXPECT_EQ(measure.line(), QLine(a, b));
    EXPECT_EQ(measure.region(), spanned);
    EXPECT_EQ(stats->toPlainText(), qyn::statsText(QynRegionStats::of(*gray.pixels(), spanned)));

    measure.findChild<QPushButton*>("cmdCopy")->click();
    EXPECT_EQ(QApplication::clipboard()->text(), measure.numbersText());
    EXPECT_TRUE(measure.numbersText().startsWith(stats->toPlainText() + '\n' + "channel\tat 0\tat 255\ngray\t"));

    w.close();
    EXPECT_FALSE(measure.isVisible());
}
