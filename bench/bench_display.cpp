// The display with an 8192 x 8192 colour (and gray) slot: ShowImage with its first paint,
// a repaint at the same size, and a resize with its paint, against Qt's own smooth
// scaling of the full image to the same size and a plain read of the slot's bytes (the
// memory-bandwidth floor of anything that looks at every pixel). Runs off screen.
//
//   QT_QPA_PLATFORM=offscreen bench_display [repetitions, default 5]
#include "QynDisplayEx.h"
#include "QynDisplayScaler.h"
#include "QynImage.h"

#include <QApplication>
#include <QPixmap>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <numeric>
#include <vector>

#include "BenchTiming.h"

namespace {

constexpr int Side = 8192;

void report(const char* what, Timing t)
{
    std::printf("%-58s median %8.2f ms   min %8.2f ms\n", what, t.median, t.min);
}

void fill(QynImage& slot, QynPixelFormat format)
{
    QynPixelBuffer& px = slot.prepareForWrite(Side, Side, format);
    for (int y = 0; y < Side; ++y) {
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

void run(QynPixelFormat format, int repetitions)
{
    const bool gray = format == QynPixelFormat::Gray8;
    std::printf("\n%d x %d %s slot, display 1024 x 768 then 1280 x 960\n", Side, Side,
                gray ? "gray" : "colour");
    QynImage slot;
    fill(slot, format);
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

    const QImage wrapped(px->data(), Side, Side, px->stride(),
                         gray ? QImage::Format_Grayscale8 : QImage::Format_RGB32);
    report("of which: box reduction by 6 alone", timeIt(repetitions, [&] {
               if (qyn::reducedCopy(*px, 6).isNull())
                   std::abort();
           }));
    report("peer: QImage::scaled smooth, full image to 768 x 768", timeIt(repetitions, [&] {
               const QImage scaled = wrapped.scaled(768, 768, Qt::IgnoreAspectRatio,
                                                    Qt::SmoothTransformation);
               if (scaled.isNull())
                   std::abort();
           }));
    std::uint64_t sink = 0;
    report("floor: read every byte of the slot once", timeIt(repetitions, [&] {
               const auto* words = reinterpret_cast<const std::uint64_t*>(px->data());
               sink += std::accumulate(words, words + px->byteCount() / 8, std::uint64_t{0});
           }));
    if (sink == 42)
        std::puts("");
}

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int repetitions = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    run(QynPixelFormat::Color32, repetitions);
    run(QynPixelFormat::Gray8, repetitions);
    return 0;
}
