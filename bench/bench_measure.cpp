// Measuring what the display shows: the histogram and the region statistics of a 512 x 512
// gray frame (on the calling thread, as a live view measures each frame), of 640 x 480
// camera frames with the texts the measure window shows, and of 8192 x 8192 slots on every
// core, against the memory-bandwidth floor the display benchmark measures (every core
// reads its share of the rows once into sums kept in memory made before the timing).
//
//   bench_measure [repetitions, default 11]
#include "QynConvertKernels.h"
#include "QynHistogram.h"
#include "QynMeasureText.h"
#include "QynRegionStats.h"
#include "QynRowPool.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "BenchBound.h"
#include "BenchTiming.h"

namespace {

void report(const char* what, Timing t)
{
    std::printf("%-58s median %8.3f ms   min %8.3f ms\n", what, t.median, t.min);
}

void fill(QynPixelBuffer& px)
{
    for (int y = 0; y < px.height(); ++y) {
        std::uint8_t* row = px.row(y);
        for (std::ptrdiff_t i = 0; i < px.stride(); ++i)
            row[i] = static_cast<std::uint8_t>(i * 7 + y);
    }
}

// Keeps the results alive so that no run is optimised away.
volatile std::uint64_t sink = 0;

void frame(int width, int height, QynPixelFormat format, int repetitions)
{
    QynPixelBuffer px(width, height, format);
    fill(px);
    const bool gray = format == QynPixelFormat::Gray8;
    std::printf("\n%d x %d %s, calling thread only\n", width, height, gray ? "gray" : "colour");
    report("histogram", timeIt(repetitions, [&] { sink = sink + QynHistogram::of(px).counts[0][7]; }));
    report("statistics", timeIt(repetitions, [&] { sink = sink + QynRegionStats::of(px).channels[0].sum; }));
    report("histogram + statistics", timeIt(repetitions, [&] {
               sink = sink + QynHistogram::of(px).counts[0][7] + QynRegionStats::of(px).channels[0].sum;
           }));
    report("histogram + statistics + their texts", timeIt(repetitions, [&] {
               const QynHistogram h = QynHistogram::of(px);
               const QynRegionStats s = QynRegionStats::of(px);
               sink = sink + qyn::statsText(s).size() + qyn::clippingText(h).size() + qyn::histogramText(h).size();
           }));
}

void slot(QynPixelFormat format, int repetitions, QynRowPool& pool)
{
    constexpr int Side = 8192;
    QynPixelBuffer px(Side, Side, format);
    fill(px);
    const bool gray = format == QynPixelFormat::Gray8;
    std::printf("\n%d x %d %s slot, %d threads\n", Side, Side, gray ? "gray" : "colour", pool.threads());
    report("histogram", timeIt(repetitions, [&] { sink = sink + QynHistogram::of(px, {}, &pool).counts[0][7]; }));
    report("  the same on one thread", timeIt(repetitions, [&] { sink = sink + QynHistogram::of(px).counts[0][7]; }));
    report("statistics", timeIt(repetitions, [&] { sink = sink + QynRegionStats::of(px, {}, &pool).channels[0].sum; }));
    report("  the same on one thread", timeIt(repetitions, [&] { sink = sink + QynRegionStats::of(px).channels[0].sum; }));
    report("histogram + statistics", timeIt(repetitions, [&] {
               sink = sink + QynHistogram::of(px, {}, &pool).counts[0][7]
                   + QynRegionStats::of(px, {}, &pool).channels[0].sum;
           }));
    std::vector<std::uint64_t> sums(static_cast<std::size_t>(Side), 1);
    const auto readRows = [&](std::ptrdiff_t begin, std::ptrdiff_t end) { readRowsOnce(px, begin, end, sums); };
    report("floor: read every byte of the slot once", timeIt(repetitions, [&] {
               pool.forRows(Side, pool.threads(), readRows);
           }));
    report("  the same on one thread", timeIt(repetitions, [&] { readRows(0, Side); }));
}

}  // namespace

int main(int argc, char** argv)
{
    const int repetitions = argc > 1 ? std::max(1, std::atoi(argv[1])) : 11;
    std::printf("Highway target %s\n", QynConvertKernels::targetName().c_str());
    frame(512, 512, QynPixelFormat::Gray8, repetitions * 10);
    frame(640, 480, QynPixelFormat::Gray8, repetitions * 10);
    frame(640, 480, QynPixelFormat::Color32, repetitions * 10);
    QynRowPool pool(QynRowPool::coreCount());
    slot(QynPixelFormat::Color32, repetitions, pool);
    slot(QynPixelFormat::Gray8, repetitions, pool);
    return 0;
}
