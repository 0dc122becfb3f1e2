// The display with an 8192 x 8192 colour (and gray) slot: ShowImage with its first paint,
// a repaint at the same size, and a resize with its paint, against Qt's own smooth
// scaling of the full image to the same size and a plain read of the slot's bytes (the
// memory-bandwidth floor of anything that looks at every pixel: every core reads its
// share of the rows into sums kept in memory made before the timing). Then the parts of
// a first paint one by one, and a camera's 640 x 480 frame shown and painted. Then the
// 8192 x 8192 slots zoomed and panned with the display's keys: the redraw after a zoom
// step to each of several scales and after an arrow key's pan there, and the first
// redraw at scales whose cached reduction is made then. Runs off screen.
//
//   QT_QPA_PLATFORM=offscreen bench_display [repetitions, default 5]
#include "QynConvertKernels.h"
#include "QynDisplayEx.h"
#include "QynDisplayKernels.h"
#include "QynDisplayScaler.h"
#include "QynDisplayView.h"
#include "QynImage.h"
#include "QynRowPool.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPixmap>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "BenchBound.h"
#include "BenchTiming.h"

namespace {

void report(const char* what, Timing t)
{
    std::printf("%-58s median %8.2f ms   min %8.2f ms\n", what, t.median, t.min);
}

void fill(QynImage& slot, int width, int height, QynPixelFormat format)
{
    QynPixelBuffer& px = slot.prepareForWrite(width, height, format);
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = px.row(y);
        for (std::ptrdiff_t i = 0; i < px.stride(); ++i)
            row[i] = static_cast<std::uint8_t>(i * 7 + y);
    }
}

// The widget paints into a pixmap of its size, as it would into the window's backing store.
void paint(QynDisplayEx& display, QPixmap& target)
{
    display.render(&target);
}

int cores()
{
    return std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
}

void run(int side, QynPixelFormat format, int repetitions, QynRowPool& pool)
{
    const bool gray = format == QynPixelFormat::Gray8;
    std::printf("\n%d x %d %s slot, display 1024 x 768 then 1280 x 960, %d threads\n", side,
                side, gray ? "gray" : "colour", pool.threads());
    QynImage slot;
    fill(slot, side, side, format);
    QynDisplayEx display;
    display.resize(1024, 768);
    QPixmap small(1024, 768), large(1280, 960);

    report("ShowImage + first paint", timeIt(repetitions, [&] {
               display.showImage(slot);
               paint(display, small);
           }));
    report("repaint, same size", timeIt(repetitions, [&] { paint(display, small); }));
    const auto* px = slot.pixels();
    bool big = false;
    report("resize + paint", timeIt(repetitions, [&] {
               big = !big;
               display.resize(big ? QSize(1280, 960) : QSize(1024, 768));
               paint(display, big ? large : small);
           }));

    const QImage wrapped(px->data(), side, side, px->stride(),
                         gray ? QImage::Format_Grayscale8 : QImage::Format_RGB32);
    QImage reduced = qyn::reducedCopy(*px, 6);
    report("of which: box reduction by 6, into the last one's memory", timeIt(repetitions, [&] {
               reduced = qyn::reducedCopy(*px, 6, &pool, std::move(reduced));
           }));
    report("  the same on one thread", timeIt(repetitions, [&] {
               reduced = qyn::reducedCopy(*px, 6, nullptr, std::move(reduced));
           }));
    // The part every exact box average needs whatever follows: each byte of the slot added
    // into 16-bit column sums, six rows at a time, as the reduction does before its box sums.
    const std::ptrdiff_t rowBytes = std::ptrdiff_t{side} * (gray ? 1 : 4);
    const auto sumBoxRows = [&](std::ptrdiff_t begin, std::ptrdiff_t end) {
        thread_local std::vector<std::uint16_t> column;
        column.resize(static_cast<std::size_t>(rowBytes));
        for (std::ptrdiff_t box = begin; box < end; ++box) {
            const int y0 = static_cast<int>(box) * 6;
            const int rows = std::min(side - y0, 6);
            QynDisplayKernels::sumRows(px->row(y0), px->stride(), rows, rowBytes, column.data());
        }
    };
    report("of which: the column sums of the boxes alone", timeIt(repetitions, [&] {
               pool.forRows((side + 5) / 6, pool.threads(), sumBoxRows);
           }));
    report("  the same on one thread", timeIt(repetitions, [&] { sumBoxRows(0, (side + 5) / 6); }));
    QImage fitted;
    report("of which: reduced copy to 768 x 768", timeIt(repetitions, [&] {
               fitted = qyn::scaledForDisplay(reduced, {768, 768}, &pool, std::move(fitted));
           }));
    report("peer: QImage::scaled smooth, full image to 768 x 768", timeIt(repetitions, [&] {
               const QImage scaled = wrapped.scaled(768, 768, Qt::IgnoreAspectRatio,
                                                    Qt::SmoothTransformation);
               if (scaled.isNull())
                   std::abort();
           }));
    std::vector<std::uint64_t> sums(static_cast<std::size_t>(side), 1);
    const auto readRows = [&](std::ptrdiff_t begin, std::ptrdiff_t end) { readRowsOnce(*px, begin, end, sums); };
    report("floor: read every byte of the slot once", timeIt(repetitions, [&] {
               pool.forRows(side, pool.threads(), readRows);
           }));
    report("  the same on one thread", timeIt(repetitions, [&] { readRows(0, side); }));
}

void runCameraFrame(QynPixelFormat format, int repetitions)
{
    const bool gray = format == QynPixelFormat::Gray8;
    QynImage frames[2];
    for (QynImage& frame : frames)
        fill(frame, 640, 480, format);
    QynDisplayEx display;
    display.resize(1024, 768);
    QPixmap target(1024, 768);
    int next = 0;
    std::printf("\n640 x 480 %s frames, display 1024 x 768\n", gray ? "gray" : "colour");
    report("ShowImage + first paint of a new frame", timeIt(repetitions, [&] {
               display.showImage(frames[next]);
               next ^= 1;
               paint(display, target);
           }));
}

void press(QynDisplayEx& display, Qt::Key key, int times = 1)
{
    for (int i = 0; i < times; ++i) {
        QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(&display, &event);
    }
}

// From one screen pixel an image pixel, `step` zoom steps in (or out, below 0).
void zoomToStep(QynDisplayEx& display, int step)
{
    press(display, Qt::Key_1);
    press(display, step > 0 ? Qt::Key_Plus : Qt::Key_Minus, std::abs(step));
}

void runZoomAndPan(QynPixelFormat format, int repetitions)
{
    const bool gray = format == QynPixelFormat::Gray8;
    std::printf("\n8192 x 8192 %s slot zoomed and panned, display 1280 x 960\n",
                gray ? "gray" : "colour");
    QynImage slot;
    fill(slot, 8192, 8192, format);
    QynDisplayEx display;
    display.resize(1280, 960);
    QPixmap target(1280, 960);
    display.showImage(slot);
    paint(display, target);
    char what[96];
    // The first redraws at 1/2 and 1/4, which make the cached reductions by 2 and by 4.
    for (int step : {-2, -4}) {
        std::snprintf(what, sizeof what, "first redraw at %.3g after ShowImage (makes its copy)",
                      QynDisplayView::stepScale(step));
        report(what, timeIt(repetitions, [&] {
                   display.showImage(slot);
                   paint(display, target);
                   press(display, Qt::Key_1);
                   paint(display, target);
               }, [&] {
                   press(display, Qt::Key_Minus, -step);
                   paint(display, target);
               }));
    }
    for (int step : {-8, -6, -5, -4, -3, -2, -1, 0, 1, 4, 10}) {
        const double scale = QynDisplayView::stepScale(step);
        // Into the scale from the next step out (or in, at the smallest).
        const int from = step == QynDisplayView::MinStep ? step + 1 : step - 1;
        std::snprintf(what, sizeof what, "zoom step to %.3g + redraw", scale);
        report(what, timeIt(repetitions, [&] {
                   zoomToStep(display, from);
                   paint(display, target);
               }, [&] {
                   press(display, from < step ? Qt::Key_Plus : Qt::Key_Minus);
                   paint(display, target);
               }));
        if (8192 * scale <= 1280)
            continue;  // the whole image is in view: nothing to pan
        bool right = false;
        std::snprintf(what, sizeof what, "  pan an eighth of the area at %.3g + redraw", scale);
        report(what, timeIt(repetitions, [&] {
                   right = !right;
                   press(display, right ? Qt::Key_Right : Qt::Key_Left);
                   paint(display, target);
               }));
    }
}

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int repetitions = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    QynRowPool pool(cores());
    std::printf("Highway target %s\n", QynConvertKernels::targetName().c_str());
    run(8192, QynPixelFormat::Color32, repetitions, pool);
    run(8192, QynPixelFormat::Gray8, repetitions, pool);
    runCameraFrame(QynPixelFormat::Color32, 10 * repetitions);
    runCameraFrame(QynPixelFormat::Gray8, 10 * repetitions);
    runZoomAndPan(QynPixelFormat::Color32, 4 * repetitions);
    runZoomAndPan(QynPixelFormat::Gray8, 4 * repetitions);
    return 0;
}
