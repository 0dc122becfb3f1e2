// The display: what it draws for empty, gray and colour slots, that it keeps drawing
// the pixels it was given, that repaints reuse the scaled image, the reduction it
// scales from, its container properties in twips, and the operator's inspection of
// the image: zoom, pan, sharp magnified pixels and the pixel readout.
#include "CaseName.h"
#include "QynCalls.h"
#include "QynConvertKernels.h"
#include "QynDisplayEx.h"
#include "QynDisplayScaler.h"
#include "QynDisplayView.h"
#include "QynImage.h"
#include "QynRowPool.h"
#include "SlotFill.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

namespace {

using fixture::fill;

// Renders onto a transparent target: pixels drawn with alpha 0 stay see-through there.
QImage shown(QynDisplayEx& display)
{
    QPixmap target(display.size());
    target.fill(Qt::transparent);
    display.render(&target);
    return target.toImage().convertToFormat(QImage::Format_ARGB32);
}

QRgb background()
{
    return QynDisplayEx::backgroundColor().rgb();
}

QynStatus show(QynDisplayEx& display, QynImage& slot)
{
    return qyn::call(display, QynDisplayEx::ShowImage, {&slot});
}

}  // namespace

TEST(Display, AnEmptySlotShowsTheBackgroundWithoutError)
{
    // Guards against ShowImage failing or drawing garbage for a never-filled or cleared slot.
    QynDisplayEx display;
    display.resize(40, 30);
    EXPECT_EQ(qyn::call(display, QynDisplayEx::Initialize), QynStatus::Ok);
    QynImage never({512, 480, 8, 1, 1, 0, 512});
    ASSERT_EQ(show(display, never), QynStatus::Ok);
    EXPECT_EQ(display.accessibleName(), QStringLiteral("empty"));
    const QImage image = shown(display);
    for (QPoint p : {QPoint(0, 0), QPoint(20, 15), QPoint(39, 29)})
        EXPECT_EQ(image.pixel(p), background());

    QynImage slot;
    fill(slot, 4, 3, QynPixelFormat::Gray8, 200);
    ASSERT_EQ(show(display, slot), QynStatus::Ok);
    slot.clear();
    ASSERT_EQ(show(display, slot), QynStatus::Ok);
    EXPECT_EQ(shown(display).pixel(20, 15), background());
    EXPECT_FALSE(display.shownPixels());
}

TEST(Display, GrayAndColourSlotsShowTheirColoursOpaqueAndCentred)
{
    // Guards against colour words drawn transparent (X byte 0), swapped channels,
    // gray shown as anything but gray, and a stretched aspect ratio.
    QynDisplayEx display;
    display.resize(60, 20);
    QynImage gray;
    fill(gray, 4, 4, QynPixelFormat::Gray8, 100);
    ASSERT_EQ(show(display, gray), QynStatus::Ok);
    EXPECT_EQ(display.accessibleName(), QStringLiteral("4 x 4 gray image"));
    QImage image = shown(display);
    EXPECT_EQ(image.pixel(30, 10), qRgb(100, 100, 100));
    EXPECT_EQ(image.pixel(5, 10), background());  // a square image leaves the sides free
    EXPECT_EQ(image.pixel(55, 10), background());

    QynImage colour;
    fill(colour, 3, 1, QynPixelFormat::Color32, 0x00336699u);
    ASSERT_EQ(show(display, colour), QynStatus::Ok);
    EXPECT_EQ(display.accessibleName(), QStringLiteral("3 x 1 colour image"));
    display.resize(60, 40);  // a 3:1 image fills the middle 60 x 20
    image = shown(display);
    EXPECT_EQ(image.pixel(30, 20), qRgb(0x33, 0x66, 0x99));
    EXPECT_EQ(qAlpha(image.pixel(30, 20)), 255);
    EXPECT_EQ(image.pixel(30, 3), background());
    EXPECT_EQ(image.pixel(30, 36), background());
    display.resize(3, 1);  // drawn at its own size, unscaled
    EXPECT_EQ(shown(display).pixel(1, 0), qRgb(0x33, 0x66, 0x99));
}

TEST(Display, KeepsDrawingThePixelsItWasGivenAfterTheSlotChanges)
{
    // Guards against the display reading slot memory that was refilled or freed
    // (a use-after-free under ASan) instead of the image it was asked to show.
    QynDisplayEx display;
    display.resize(30, 30);
    QynImage slot;
    fill(slot, 200, 200, QynPixelFormat::Color32, 0x00ff0000u);  // red, drawn at the next paint
    ASSERT_EQ(show(display, slot), QynStatus::Ok);
    fill(slot, 200, 200, QynPixelFormat::Color32, 0x000000ffu);  // refilled with blue
    slot.clear();
    fill(slot, 5, 5, QynPixelFormat::Gray8, 0);
    EXPECT_EQ(shown(display).pixel(15, 15), qRgb(255, 0, 0));

    auto small = std::make_unique<QynImage>();
    fill(*small, 5, 5, QynPixelFormat::Color32, 0x0000ff00u);
    ASSERT_EQ(show(display, *small), QynStatus::Ok);
    small.reset();  // the slot itself is gone
    EXPECT_EQ(shown(display).pixel(15, 15), qRgb(0, 255, 0));
}

TEST(Display, RepaintsReuseTheScaledImageAndResizesRescaleIt)
{
    // Guards against rescaling a large image on every paint.
    QynDisplayEx display;
    display.resize(50, 40);
    QynImage slot;
    fill(slot, 640, 480, QynPixelFormat::Color32, 0x00808080u);
    ASSERT_EQ(show(display, slot), QynStatus::Ok);
    shown(display);
    shown(display);
    EXPECT_EQ(display.scaleCount(), 1);
    ASSERT_EQ(qyn::put(display, QynDisplayEx::Width, 1200.0), QynStatus::Ok);
    const QImage image = shown(display);
    EXPECT_EQ(display.scaleCount(), 2);
    EXPECT_EQ(image.width(), 80);
    EXPECT_EQ(image.pixel(40, 20), qRgb(0x80, 0x80, 0x80));
}

TEST(DisplayScaler, BoxReductionAveragesEveryPixelIncludingPartialEdgeBoxes)
{
    // Guards against dropped edge columns/rows, rounding bias and transparent colour.
    QynPixelBuffer gray(5, 3, QynPixelFormat::Gray8);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x)
            gray.row(y)[x] = static_cast<std::uint8_t>(10 * (y * 5 + x));
    const QImage r = qyn::reducedCopy(gray, 2);
    ASSERT_EQ(r.size(), QSize(3, 2));
    ASSERT_EQ(r.format(), QImage::Format_Grayscale8);
    EXPECT_EQ(r.constScanLine(0)[0], (0 + 10 + 50 + 60 + 2) / 4);
    EXPECT_EQ(r.constScanLine(0)[2], (40 + 90 + 1) / 2);  // a one-column box
    EXPECT_EQ(r.constScanLine(1)[2], 140);                 // the lone corner pixel

    QynPixelBuffer colour(3, 1, QynPixelFormat::Color32);
    const std::uint32_t words[3] = {0x00000010u, 0x00200000u, 0x00000030u};
    std::memcpy(colour.data(), words, sizeof words);
    const QImage c = qyn::reducedCopy(colour, 3);
    ASSERT_EQ(c.size(), QSize(1, 1));
    EXPECT_EQ(c.pixel(0, 0), qRgba(0x0b, 0, 0x15, 0xff));  // red (0x20+1)/3, blue (0x40+1)/3

    EXPECT_EQ(qyn::displayReduction({8192, 8192}, {1920, 1200}), 6);
    EXPECT_EQ(qyn::displayReduction({100, 100}, {1920, 1200}), 1);
}

TEST(Display, SizesAreTwipsAndNeverNegative)
{
    // Guards against a window smaller than the layout rule giving the display a
    // negative or absurd size, and against pixel/twip mix-ups.
    QynDisplayEx display;
    display.move(240, 8);
    EXPECT_EQ(std::get<double>(display.invoke(QynDisplayEx::Left, QynCallKind::PropertyGet, {}).value), 3600.0);
    EXPECT_EQ(std::get<double>(display.invoke(QynDisplayEx::Top, QynCallKind::PropertyGet, {}).value), 120.0);
    ASSERT_EQ(qyn::put(display, QynDisplayEx::Width, 7935.0), QynStatus::Ok);
    ASSERT_EQ(qyn::put(display, QynDisplayEx::Height, 7455.0), QynStatus::Ok);
    EXPECT_EQ(display.size(), QSize(529, 497));
    for (double bad : {0.0, -300.0, -1e30, std::numeric_limits<double>::quiet_NaN()}) {
        ASSERT_EQ(qyn::put(display, QynDisplayEx::Width, bad), QynStatus::Ok);
        ASSERT_EQ(qyn::put(display, QynDisplayEx::Height, bad), QynStatus::Ok);
        EXPECT_EQ(display.size(), QSize(0, 0)) << bad;
    }
    ASSERT_EQ(qyn::put(display, QynDisplayEx::Width, 1e300), QynStatus::Ok);
    EXPECT_GT(display.width(), 0);
    EXPECT_EQ(qyn::put(display, QynDisplayEx::Left, 15.0), QynStatus::UnknownMember);
    EXPECT_NE(qyn::call(display, QynDisplayEx::ShowImage, {static_cast<QynComponent*>(nullptr)}),
              QynStatus::Ok);
    EXPECT_NE(qyn::call(display, QynDisplayEx::ShowImage, {&display}), QynStatus::Ok);
}

namespace {

// The box average of every output pixel, summed the slow way.
QImage boxAverages(const QynPixelBuffer& in, int factor)
{
    const bool gray = in.format() == QynPixelFormat::Gray8;
    const int channels = gray ? 1 : 3;
    QImage out((in.width() + factor - 1) / factor, (in.height() + factor - 1) / factor,
               gray ? QImage::Format_Grayscale8 : QImage::Format_RGB32);
    for (int oy = 0; oy < out.height(); ++oy)
        for (int ox = 0; ox < out.width(); ++ox)
            for (int c = 0; c < channels; ++c) {
                std::uint64_t sum = 0, count = 0;
                for (int y = oy * factor; y < std::min(in.height(), (oy + 1) * factor); ++y)
                    for (int x = ox * factor; x < std::min(in.width(), (ox + 1) * factor); ++x, ++count)
                        sum += in.row(y)[gray ? x : 4 * x + c];
                out.scanLine(oy)[gray ? ox : 4 * ox + c] = static_cast<std::uint8_t>((sum + count / 2) / count);
                if (!gray)
                    out.scanLine(oy)[4 * ox + 3] = 0xff;
            }
    return out;
}

}  // namespace

TEST(DisplayScaler, EveryInstructionSetGivesExactBoxAveragesAndTheSameScaledPixels)
{
    // Guards against a vector path that drops row tails, overflows its sums at the
    // largest box or rounds differently from the plain average, against magnified
    // views that pick a neighbour of the nearest pixel, and against scaled
    // images that differ between instruction sets, lose opacity or tint gray.
    struct Case {
        int width, height, factor;
    };
    const Case cases[] = {{67, 13, 2}, {131, 40, 7}, {300, 35, 16}, {515, 258, 257}, {40, 3, 1}, {1024, 1030, 3}};
    std::uint32_t seed = 12345;
    std::vector<std::unique_ptr<QynPixelBuffer>> images;
    for (const Case& c : cases)
        for (QynPixelFormat format : {QynPixelFormat::Gray8, QynPixelFormat::Color32}) {
            auto& px = *images.emplace_back(std::make_unique<QynPixelBuffer>(c.width, c.height, format));
            for (int y = 0; y < c.height; ++y)
                for (std::ptrdiff_t i = 0; i < px.stride(); ++i)
                    px.row(y)[i] = static_cast<std::uint8_t>((seed = seed * 1103515245u + 12345u) >> 23);
        }
    std::vector<QImage> firstScaled;
    for (const std::string& target : QynConvertKernels::availableTargets()) {
        SCOPED_TRACE("target " + target);
        ASSERT_TRUE(QynConvertKernels::useTarget(target));
        QynRowPool pool(2);
        std::vector<QImage> scaled;
        for (std::size_t i = 0; i < images.size(); ++i) {
            const QynPixelBuffer& px = *images[i];
            const int factor = cases[i / 2].factor;
            const QImage reduced = qyn::reducedCopy(px, factor, &pool);
            EXPECT_EQ(reduced, boxAverages(px, factor)) << px.width() << " by " << factor;
            const QImage same = qyn::scaledForDisplay(reduced, reduced.size());
            EXPECT_EQ(same, reduced.convertToFormat(QImage::Format_RGB32));
            for (QSize size : {QSize(9, 5), QSize(97, 61), QSize(3, 700)}) {
                const QImage image = qyn::scaledForDisplay(reduced, size, &pool);
                ASSERT_EQ(image.size(), size);
                for (int y = 0; y < size.height(); y += 4)
                    for (int x = 0; x < size.width(); x += 2) {
                        const QRgb p = image.pixel(x, y);
                        ASSERT_EQ(qAlpha(p), 255);
                        if (px.format() == QynPixelFormat::Gray8) {
                            ASSERT_TRUE(qRed(p) == qGreen(p) && qGreen(p) == qBlue(p));
                        }
                    }
                scaled.push_back(image);
            }
            // Magnified, each screen pixel is its nearest image pixel, opaque, at any phase
            // of the scale, up to the right and bottom edges.
            const QImage source = qyn::imageOf(px);
            for (const QRectF placed : {QRectF(0, 0, px.width() * 1.17, px.height() * 1.17),
                                        QRectF(-3.4, -2.2, px.width() * 2.5, px.height() * 2.5)}) {
                const QImage image = qyn::sampledForDisplay(source, placed, placed.toAlignedRect(), &pool);
                ASSERT_FALSE(image.isNull());
                const double sx = placed.width() / px.width(), sy = placed.height() / px.height();
                for (int y = 0; y < image.height(); y += 3)
                    for (int x = 0; x < image.width(); ++x) {
                        const QPoint at = image.offset() + QPoint(x, y);
                        const int from = std::clamp(int(std::floor((at.x() + 0.5 - placed.left()) / sx)), 0, px.width() - 1);
                        const int fromY = std::clamp(int(std::floor((at.y() + 0.5 - placed.top()) / sy)), 0, px.height() - 1);
                        ASSERT_EQ(image.pixel(x, y), source.pixel(from, fromY) | 0xff000000u) << x << ", " << y;
                    }
            }
        }
        if (firstScaled.empty())
            firstScaled = scaled;
        EXPECT_EQ(scaled, firstScaled);
    }
    QynConvertKernels::useTarget({});

    // Memory handed back is written over only when nothing else holds it.
    QynPixelBuffer zeros(67, 13, QynPixelFormat::Gray8);
    std::memset(zeros.data(), 0, zeros.byteCount());
    const QImage held = qyn::reducedCopy(*images[0], 2);
    const QImage heldBefore = held.copy();
    EXPECT_EQ(qyn::reducedCopy(zeros, 2, nullptr, held), boxAverages(zeros, 2));
    EXPECT_EQ(held, heldBefore);
    QImage owned = held.copy();
    const uchar* memory = owned.constBits();
    EXPECT_EQ(qyn::reducedCopy(zeros, 2, nullptr, std::move(owned)).constBits(), memory);
}

namespace {

// Every pixel different: its level (or colour word) made of its coordinates.
fixture::PixelValue pattern(QynPixelFormat format)
{
    return [format](int x, int y) {
        const std::uint32_t level = static_cast<std::uint32_t>(x * 37 + y * 11 + 5) & 0xff;
        return format == QynPixelFormat::Gray8 ? level : level << 16 | (255 - level) << 8 | ((x * 8 + y) & 0xff);
    };
}

QRgb patternRgb(int x, int y, QynPixelFormat format)
{
    const std::uint32_t v = pattern(format)(x, y);
    return format == QynPixelFormat::Gray8 ? qRgb(int(v), int(v), int(v)) : 0xff000000u | v;
}

void key(QynDisplayEx& display, Qt::Key k, int times = 1)
{
    for (int i = 0; i < times; ++i) {
        QKeyEvent event(QEvent::KeyPress, k, Qt::NoModifier);
        QApplication::sendEvent(&display, &event);
    }
}

void mouse(QynDisplayEx& display, QEvent::Type type, QPoint at, Qt::MouseButtons buttons = Qt::NoButton)
{
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, QPointF(at), display.mapToGlobal(QPointF(at)), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(&display, &event);
}

void wheel(QynDisplayEx& display, QPoint at, int notches)
{
    QWheelEvent event(QPointF(at), display.mapToGlobal(QPointF(at)), {}, {0, 120 * notches},
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(&display, &event);
}

const char* formatName(QynPixelFormat format)
{
    return format == QynPixelFormat::Gray8 ? "gray" : "colour";
}

struct Readout {
    const char* name;
    QynPixelFormat format;
    QPoint cursor;  // the 4 x 3 image fills x 10 to 49 of a 60 x 30 display
    const char* text;
};

}  // namespace

TEST(Display, MagnifiedPixelsAreSharpSquaresAndZoomedOutOnesBoxAverages)
{
    // Guards against magnified pixels blurred into their neighbours, squares shifted
    // from where the readout and zoom place them, and reduced zoomed views that skip
    // pixels instead of averaging them.
    for (QynPixelFormat format : {QynPixelFormat::Gray8, QynPixelFormat::Color32}) {
        QynImage slot;
        fill(slot, 7, 5, format, pattern(format));
        QynDisplayEx display;
        display.resize(61, 39);  // fitted at 7.8 screen pixels an image pixel, not a whole number
        ASSERT_EQ(show(display, slot), QynStatus::Ok);
        for (int zoomSteps : {0, 1, 4}) {  // fitted, then zoomed in about the centre
            SCOPED_TRACE(std::string(formatName(format)) + ", steps " + std::to_string(zoomSteps));
            key(display, Qt::Key_Plus, zoomSteps);
            const QImage image = shown(display);
            int inside = 0;
            for (int y = 0; y < image.height(); ++y)
                for (int x = 0; x < image.width(); ++x) {
                    const auto pixel = display.view().pixelAt({x + 0.5, y + 0.5});
                    const QRgb want = pixel ? patternRgb(pixel->x(), pixel->y(), format) : background();
                    ASSERT_EQ(image.pixel(x, y), want) << x << ", " << y;
                    inside += pixel.has_value();
                }
            EXPECT_GT(inside, zoomSteps ? 61 * 39 / 2 : 7 * 5 * 49);
        }

        // Zoomed out to 1/2 (seven steps in from 1/32), then dragged to the far corner,
        // into rows and columns of the copy by 2 not made yet: every screen pixel the
        // exact (rounded) average of its 2 x 2 image pixels.
        QynImage large;
        fill(large, 1100, 600, format, pattern(format));
        display.resize(16, 16);
        ASSERT_EQ(show(display, large), QynStatus::Ok);
        key(display, Qt::Key_Plus, 7);
        ASSERT_DOUBLE_EQ(display.view().scale(), 0.5);
        for (const auto& [from, fromY] : {std::pair{534, 284}, std::pair{1068, 568}}) {
            SCOPED_TRACE(std::string(formatName(format)) + ", image from " + std::to_string(from));
            const QImage image = shown(display);
            ASSERT_EQ(display.view().placed().topLeft(), QPointF(-from / 2, -fromY / 2));
            for (int y = 0; y < 16; ++y)
                for (int x = 0; x < 16; ++x)
                    for (int shift : {0, 8, 16}) {
                        int sum = 0;
                        for (int dy = 0; dy < 2; ++dy)
                            for (int dx = 0; dx < 2; ++dx)
                                sum += int(patternRgb(2 * x + from + dx, 2 * y + fromY + dy, format) >> shift & 0xff);
                        ASSERT_EQ(int(image.pixel(x, y) >> shift & 0xff), (sum + 2) / 4) << x << ", " << y;
                    }
            mouse(display, QEvent::MouseButtonPress, {8, 8}, Qt::LeftButton);
            mouse(display, QEvent::MouseMove, {-1000, -1000}, Qt::LeftButton);
            mouse(display, QEvent::MouseButtonRelease, {-1000, -1000});
        }
    }
}

TEST(DisplayView, ZoomKeepsThePointUnderTheCursorAndPanStopsAtTheEdges)
{
    // Guards against zooming that drifts the image away from the cursor, steps off the
    // 1/16 ... 32 ladder, and pans that reveal background beside a larger image.
    QynDisplayView view;
    view.setImage({1000, 800});
    view.setArea({200, 100}, 1.0);
    EXPECT_TRUE(view.fitted());
    EXPECT_EQ(view.fittedRect(), QRect(37, 0, 125, 100));
    for (QPointF at : {QPointF(50, 30), QPointF(150.5, 99), QPointF(100, 50)}) {
        view.zoomTo(1.0, {100, 50});
        const QPointF before = view.toImage(at);
        for (bool in : {true, true, true, false, false}) {
            in ? view.zoomIn(at) : view.zoomOut(at);
            EXPECT_NEAR(view.toImage(at).x(), before.x(), 1e-9) << at.x();
            EXPECT_NEAR(view.toImage(at).y(), before.y(), 1e-9) << at.y();
        }
    }
    view.fit();
    double scale = view.scale();
    for (int step = 0; step < 30; ++step) {
        view.zoomIn({100, 50});
        EXPECT_TRUE(view.scale() > scale || view.scale() == 32.0) << step;
        scale = view.scale();
        EXPECT_NEAR(std::log2(scale) * 2, std::round(std::log2(scale) * 2), 1e-9);
    }
    EXPECT_EQ(view.scale(), 32.0);
    for (int step = 0; step < 30; ++step)
        view.zoomOut({100, 50});
    EXPECT_EQ(view.scale(), 1.0 / 16);

    struct Pan {
        const char* name;
        QPointF by;
        double left, top;  // where the image's top left ends
    };
    view.zoomTo(1.0, {100, 50});
    const Pan pans[] = {{"far right and down", {1e6, 1e6}, 0, 0},
                        {"far left and up", {-1e6, -1e6}, 200 - 1000, 100 - 800},
                        {"a little back", {30, 20}, 200 - 1000 + 30, 100 - 800 + 20}};
    for (const Pan& pan : pans) {
        view.panBy(pan.by);
        EXPECT_EQ(view.placed().topLeft(), QPointF(pan.left, pan.top)) << pan.name;
    }
    // Narrower than the area and as tall: centred, and no pan moves it.
    view.zoomTo(0.125, {0, 0});
    view.panBy({50, -1e6});
    EXPECT_EQ(view.placed(), QRectF(100 - 62.5, 100 - 100, 125, 100));
    view.fit();
    view.panBy({50, 50});
    EXPECT_EQ(view.placed(), QRectF(37, 0, 125, 100));

    // A readout box goes beside what it must keep clear, or nowhere when it cannot.
    const QRect area(0, 0, 200, 100);
    EXPECT_EQ(QynDisplayView::besides({10, 10, 8, 8}, {50, 20}, area, 4), QRect(22, 22, 50, 20));
    EXPECT_EQ(QynDisplayView::besides({190, 80, 8, 8}, {50, 20}, area, 4), QRect(136, 56, 50, 20));
    EXPECT_EQ(QynDisplayView::besides({0, 0, 200, 100}, {50, 20}, area, 4), std::nullopt);
}

class DisplayReadout : public ::testing::TestWithParam<Readout> {};

TEST_P(DisplayReadout, NamesThePixelUnderTheCursorFromTheShownPixels)
{
    // Guards against a readout of the wrong pixel at the image's edges, one shown over
    // the background, a box hiding the pixel it reads, a description not handed back
    // when the cursor leaves, and values read from a slot refilled since.
    const Readout& row = GetParam();
    QynDisplayEx display;
    display.resize(60, 30);
    display.setAccessibleDescription(QStringLiteral("QynDisplayEx1"));
    QynImage slot;
    fill(slot, 4, 3, row.format, pattern(row.format));
    ASSERT_EQ(show(display, slot), QynStatus::Ok);
    fill(slot, 4, 3, row.format, 0);  // refilled: the display still shows the first pixels
    mouse(display, QEvent::MouseMove, row.cursor);
    EXPECT_EQ(display.readout(), QString::fromLatin1(row.text));
    EXPECT_EQ(display.accessibleDescription(),
              *row.text ? QString::fromLatin1(row.text) : QStringLiteral("QynDisplayEx1"));
    const QImage image = shown(display);
    if (*row.text) {
        EXPECT_EQ(image.pixel(row.cursor), patternRgb((row.cursor.x() - 10) / 10, row.cursor.y() / 10, row.format));
    }
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&display, &leave);
    EXPECT_EQ(display.readout(), QString());
    EXPECT_EQ(display.accessibleDescription(), QStringLiteral("QynDisplayEx1"));
}

INSTANTIATE_TEST_SUITE_P(Display, DisplayReadout, ::testing::Values(
    Readout{"gray top left", QynPixelFormat::Gray8, {10, 0}, "x 0, y 0: gray 5"},
    Readout{"gray bottom right", QynPixelFormat::Gray8, {49, 29}, "x 3, y 2: gray 138"},
    Readout{"colour top right", QynPixelFormat::Color32, {49, 0}, "x 3, y 0: R 116, G 139, B 24"},
    Readout{"colour bottom left", QynPixelFormat::Color32, {10, 29}, "x 0, y 2: R 27, G 228, B 2"},
    Readout{"left of the image", QynPixelFormat::Gray8, {9, 15}, ""},
    Readout{"right of the image", QynPixelFormat::Color32, {50, 15}, ""}),
    NameOfCase());

TEST(Display, ReadoutIsEmptyOverAnEmptySlot)
{
    // Guards against a readout shown over an empty slot.
    QynDisplayEx display;
    display.resize(60, 30);
    QynImage empty;
    ASSERT_EQ(show(display, empty), QynStatus::Ok);
    mouse(display, QEvent::MouseMove, {30, 15});
    EXPECT_EQ(display.readout(), QString());
}

TEST(Display, KeysWheelAndMouseDriveTheViewAndShowImageFitsAgain)
{
    // Guards against dead keys, arrows that pan a fitted image, a wheel that zooms
    // about the wrong point or not at all for a single notch down, a drag that moves the image the wrong way, and a new image
    // shown at the old image's zoom.
    QynDisplayEx display;
    display.resize(100, 80);
    QynImage slot;
    fill(slot, 400, 320, QynPixelFormat::Color32, pattern(QynPixelFormat::Color32));
    ASSERT_EQ(show(display, slot), QynStatus::Ok);
    const QImage fitted = shown(display);
    const QynDisplayView& view = display.view();
    key(display, Qt::Key_Right);
    EXPECT_TRUE(view.fitted());
    key(display, Qt::Key_Plus);
    EXPECT_DOUBLE_EQ(view.scale(), QynDisplayView::stepScale(-3));  // from 1/4 fitted
    key(display, Qt::Key_Minus, 2);
    EXPECT_DOUBLE_EQ(view.scale(), QynDisplayView::stepScale(-5));
    for (Qt::Key one : {Qt::Key_1, Qt::Key_0}) {
        key(display, Qt::Key_Plus);
        key(display, one);
        EXPECT_DOUBLE_EQ(view.scale(), 1.0);
    }
    const QPointF centred = view.placed().topLeft();
    EXPECT_EQ(centred, QPointF(50 - 200, 40 - 160));
    key(display, Qt::Key_Right);
    key(display, Qt::Key_Down, 2);
    EXPECT_EQ(view.placed().topLeft(), centred - QPointF(100 / 8.0, 2 * 80 / 8.0));
    key(display, Qt::Key_Left);
    key(display, Qt::Key_Up, 2);
    EXPECT_EQ(view.placed().topLeft(), centred);
    // Dragging carries the image with the mouse.
    mouse(display, QEvent::MouseButtonPress, {50, 40}, Qt::LeftButton);
    mouse(display, QEvent::MouseMove, {30, 45}, Qt::LeftButton);
    mouse(display, QEvent::MouseButtonRelease, {30, 45});
    EXPECT_EQ(view.placed().topLeft(), centred + QPointF(-20, 5));
    key(display, Qt::Key_F);
    EXPECT_TRUE(view.fitted());
    EXPECT_EQ(shown(display), fitted);

    const QPointF at(70.5, 20.5);  // the middle of screen pixel (70, 20)
    const QPointF under = view.toImage(at);
    wheel(display, {70, 20}, 3);
    EXPECT_DOUBLE_EQ(view.scale(), QynDisplayView::stepScale(-1));
    EXPECT_NEAR((view.toImage(at) - under).manhattanLength(), 0, 1e-9);
    // One notch down from one screen pixel an image pixel is the step below, about the cursor.
    key(display, Qt::Key_1);
    const QPointF underAtOne = view.toImage(at);
    wheel(display, {70, 20}, -1);
    EXPECT_DOUBLE_EQ(view.scale(), QynDisplayView::stepScale(-1));
    EXPECT_NEAR((view.toImage(at) - underAtOne).manhattanLength(), 0, 1e-9);
    mouse(display, QEvent::MouseButtonDblClick, {70, 20}, Qt::LeftButton);
    EXPECT_TRUE(view.fitted());

    key(display, Qt::Key_Plus, 5);
    QynImage other;
    fill(other, 400, 320, QynPixelFormat::Color32, pattern(QynPixelFormat::Color32));
    ASSERT_EQ(show(display, other), QynStatus::Ok);
    EXPECT_TRUE(view.fitted());
    EXPECT_EQ(shown(display), fitted);
}
