#include "QynRegionStats.h"

#include "QynRowPool.h"

#include <cmath>
#include <mutex>

namespace {

// The kernel counts blue, green, red in memory order; the statistics list red first.
constexpr int KernelChannel[3] = {2, 1, 0};

}  // namespace

double QynRegionStats::mean(int channel) const
{
    if (pixels == 0)
        return 0;
    return static_cast<double>(channels[static_cast<std::size_t>(channel)].sum) / static_cast<double>(pixels);
}

double QynRegionStats::standardDeviation(int channel) const
{
    if (pixels == 0)
        return 0;
    // n * sum of squares - sum^2 is n^2 times the variance, exact in 128 bits (up to 2^32
    // pixels of 255: some 2^80).
    __extension__ using Wide = unsigned __int128;
    const auto& c = channels[static_cast<std::size_t>(channel)];
    const Wide scaled = Wide{pixels} * c.sumSquares - Wide{c.sum} * c.sum;
    const double n = static_cast<double>(pixels);
    return std::sqrt(static_cast<double>(scaled)) / n;
}

QRect QynRegionStats::clipped(const QynPixelBuffer& pixels, QRect region)
{
    const QRect image(0, 0, pixels.width(), pixels.height());
    return region.isNull() ? image : region.normalized() & image;
}

QynRegionStats QynRegionStats::of(const QynPixelBuffer& pixels, QRect region, QynRowPool* pool)
{
    QynRegionStats stats;
    stats.region = clipped(pixels, region);
    stats.color = pixels.format() == QynPixelFormat::Color32;
    if (stats.region.isEmpty())
        return stats;
    stats.pixels = std::uint64_t(stats.region.width()) * std::uint64_t(stats.region.height());
    const int bytesPerPixel = qynBytesPerPixel(pixels.format());
    const std::ptrdiff_t left = std::ptrdiff_t{stats.region.x()} * bytesPerPixel;
    std::array<QynMeasureKernels::ChannelSums, 3> total{};
    std::mutex merging;
    const auto part = [&](std::ptrdiff_t begin, std::ptrdiff_t end) {
        std::array<QynMeasureKernels::ChannelSums, 3> sums{};
        for (std::ptrdiff_t y = begin; y < end; ++y)
            QynMeasureKernels::addRow(pixels.row(static_cast<int>(stats.region.y() + y)) + left,
                                      stats.region.width(), stats.color, sums.data());
        const std::lock_guard lock(merging);
        for (std::size_t c = 0; c < 3; ++c)
            total[c].merge(sums[c]);
    };
    const std::ptrdiff_t rows = stats.region.height();
    const int parts = pool ? QynRowPool::partsFor(std::size_t(stats.pixels) * std::size_t(bytesPerPixel), pool->threads())
                           : 1;
    if (parts > 1)
        pool->forRows(rows, parts, part);
    else
        part(0, rows);
    for (int c = 0; c < stats.channelCount(); ++c)
        stats.channels[std::size_t(c)] = total[std::size_t(stats.color ? KernelChannel[c] : 0)];
    return stats;
}
