// Measuring what the display shows: the histogram and the region statistics of a 512 x 512
// gray frame (on the calling thread, as a live view measures each frame), of 640 x 480
// camera frames with the texts the measure window shows, and of 8192 x 8192 slots on every
// core. The window reads an image once for both: the histogram of the whole image and that
// of the region, from which the statistics follow. The slots are held against two floors:
// the memory-bandwidth floor the display benchmark measures (every core reads its share of
// the rows once into sums kept in memory made before the timing), and the compute floor of
// counting (a plain four-table count of as many bytes as the slot has levels, three a
// colour pixel, one a gray one).
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

// The measure window's work for one image: the image's histogram and the region's
// statistics, from one reading.
std::uint64_t measureAsTheWindow(const QynPixelBuffer& px, QRect region, QynRowPool* pool)
{
    const auto [image, inRegion] = QynHistogram::imageAndRegion(px, region, pool);
    return image.counts[0][7] + QynRegionStats::of(inRegion).channels[0].sum;
}

// The middle quarter of the image: a region the operator drew.
QRect centre(const QynPixelBuffer& px)
{
    return {px.width() / 4, px.height() / 4, px.width() / 2, px.height() / 2};
}

void frame(int width, int height, QynPixelFormat format, int repetitions)
{
    QynPixelBuffer px(width, height, format);
    fill(px);
    const bool gray = format == QynPixelFormat::Gray8;
    std::printf("\n%d x %d %s, calling thread only\n", width, height, gray ? "gray" : "colour");
    report("histogram", timeIt(repetitions, [&] { sink = sink + QynHistogram::of(px).counts[0][7]; }));
    report("statistics", timeIt(repetitions, [&] { sink = sink + QynRegionStats::of(px).channels[0].sum; }));
    report("histogram + statistics, one reading", timeIt(repetitions, [&] {
               sink = sink + measureAsTheWindow(px, {}, nullptr);
           }));
    report("  statistics of the centre quarter", timeIt(repetitions, [&] {
               sink = sink + measureAsTheWindow(px, centre(px), nullptr);
           }));
    report("histogram + statistics + their texts", timeIt(repetitions, [&] {
               const auto [image, inRegion] = QynHistogram::imageAndRegion(px, {});
               const QynRegionStats s = QynRegionStats::of(inRegion);
               sink = sink + qyn::statsText(s).size() + qyn::clippingText(image).size()
                   + qyn::histogramText(image).size();
           }));
}

// Counts rows [begin, end) of a gray image in four plain tables: the least a histogram
// of these bytes can cost on this machine.
void countPlainly(const QynPixelBuffer& px, std::ptrdiff_t begin, std::ptrdiff_t end)
{
    std::uint32_t t[4][256] = {};
    for (std::ptrdiff_t y = begin; y < end; ++y) {
        const std::uint8_t* p = px.row(static_cast<int>(y));
        for (std::ptrdiff_t x = 0; x + 4 <= px.width(); x += 4) {
            ++t[0][p[x]];
            ++t[1][p[x + 1]];
            ++t[2][p[x + 2]];
            ++t[3][p[x + 3]];
        }
    }
    sink = sink + t[0][7] + t[1][7] + t[2][7] + t[3][7];
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
    const Timing both = timeIt(repetitions, [&] { sink = sink + measureAsTheWindow(px, {}, &pool); });
    report("histogram + statistics, one reading", both);
    report("  statistics of the centre quarter", timeIt(repetitions, [&] {
               sink = sink + measureAsTheWindow(px, centre(px), &pool);
           }));
    report("  the same on one thread", timeIt(repetitions, [&] { sink = sink + measureAsTheWindow(px, {}, nullptr); }));
    std::vector<std::uint64_t> sums(static_cast<std::size_t>(Side), 1);
    const auto readRows = [&](std::ptrdiff_t begin, std::ptrdiff_t end) { readRowsOnce(px, begin, end, sums); };
    const Timing read = timeIt(repetitions, [&] { pool.forRows(Side, pool.threads(), readRows); });
    report("floor: read every byte of the slot once", read);
    report("  the same on one thread", timeIt(repetitions, [&] { readRows(0, Side); }));
    QynPixelBuffer levels(Side * (gray ? 1 : 3), Side, QynPixelFormat::Gray8);
    fill(levels);
    const auto countRows = [&](std::ptrdiff_t begin, std::ptrdiff_t end) { countPlainly(levels, begin, end); };
    const Timing count = timeIt(repetitions, [&] { pool.forRows(Side, pool.threads(), countRows); });
    report("floor: count the slot's levels in four plain tables", count);
    report("  the same on one thread", timeIt(repetitions, [&] { countRows(0, Side); }));
    std::printf("histogram + statistics, median: %.2f x the read floor, %.2f x the counting floor\n",
                both.median / read.median, both.median / count.median);
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
