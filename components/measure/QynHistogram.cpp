#include "QynHistogram.h"

#include "QynMeasureKernels.h"
#include "QynRegionStats.h"
#include "QynRowPool.h"

#include <algorithm>
#include <mutex>

namespace {

using QynMeasureKernels::Counts;

// Counts `region` (inside the image) into `inside` and, when `around` is given, the rest
// of the image into it, sharing the rows among the pool's threads when it is worth it.
void count(const QynPixelBuffer& pixels, QRect region, QynRowPool* pool, Counts& inside, Counts* around)
{
    const bool color = pixels.format() == QynPixelFormat::Color32;
    const int bytesPerPixel = qynBytesPerPixel(pixels.format());
    const QRect r = region.isEmpty() ? QRect() : region;
    // The rows read: the region's, or every row when the rest is counted too.
    const int top = around ? 0 : r.top();
    const int rows = around ? pixels.height() : r.height();
    if (rows <= 0)
        return;
    const int width = pixels.width();
    const std::ptrdiff_t left = std::ptrdiff_t{r.x()} * bytesPerPixel;
    const std::ptrdiff_t rightOfRegion = std::ptrdiff_t{r.x() + r.width()} * bytesPerPixel;
    const int besideRegion = width - r.x() - r.width();
    std::mutex merging;
    const auto part = [&](std::ptrdiff_t begin, std::ptrdiff_t end) {
        QynMeasureKernels::CountTables in(color);
        QynMeasureKernels::CountTables out(color);
        for (std::ptrdiff_t i = begin; i < end; ++i) {
            const int y = top + static_cast<int>(i);
            const std::uint8_t* row = pixels.row(y);
            if (r.isEmpty() || y < r.top() || y > r.bottom()) {
                out.addRow(row, width);
                continue;
            }
            if (around) {
                out.addRow(row, r.x());
                out.addRow(row + rightOfRegion, besideRegion);
            }
            in.addRow(row + left, r.width());
        }
        const std::lock_guard lock(merging);
        in.addTo(inside);
        if (around)
            out.addTo(*around);
    };
    const std::size_t bytes = std::size_t(rows) * std::size_t(around ? width : r.width()) * std::size_t(bytesPerPixel);
    // The threads pay off at fewer bytes than a copy's: counting is slower than moving.
    const int parts = pool ? QynRowPool::partsFor(bytes * 4, pool->threads()) : 1;
    if (parts > 1)
        pool->forRows(rows, parts, part);
    else
        part(0, rows);
}

QynHistogram emptyOf(const QynPixelBuffer& pixels, QRect region)
{
    QynHistogram histogram;
    histogram.region = QynRegionStats::clipped(pixels, region);
    histogram.color = pixels.format() == QynPixelFormat::Color32;
    if (!histogram.region.isEmpty())
        histogram.pixels = std::uint64_t(histogram.region.width()) * std::uint64_t(histogram.region.height());
    return histogram;
}

}  // namespace

std::uint64_t QynHistogram::peak() const
{
    std::uint64_t most = 0;
    for (int c = 0; c < channelCount(); ++c)
        most = std::max(most, *std::max_element(counts[std::size_t(c)].begin(), counts[std::size_t(c)].end()));
    return most;
}

QynHistogram QynHistogram::of(const QynPixelBuffer& pixels, QRect region, QynRowPool* pool)
{
    QynHistogram histogram = emptyOf(pixels, region);
    count(pixels, histogram.region, pool, histogram.counts, nullptr);
    return histogram;
}

std::pair<QynHistogram, QynHistogram> QynHistogram::imageAndRegion(const QynPixelBuffer& pixels, QRect region,
                                                                   QynRowPool* pool)
{
    QynHistogram image = emptyOf(pixels, {});
    QynHistogram inRegion = emptyOf(pixels, region);
    count(pixels, inRegion.region, pool, inRegion.counts, &image.counts);
    for (std::size_t c = 0; c < image.counts.size(); ++c)
        for (std::size_t v = 0; v < 256; ++v)
            image.counts[c][v] += inRegion.counts[c][v];
    return {image, inRegion};
}
