#include "QynRegionStats.h"

#include <cmath>

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
    return of(QynHistogram::of(pixels, region, pool));
}

QynRegionStats QynRegionStats::of(const QynHistogram& histogram)
{
    QynRegionStats stats;
    stats.region = histogram.region;
    stats.color = histogram.color;
    stats.pixels = histogram.pixels;
    for (int c = 0; c < stats.channelCount(); ++c)
        stats.channels[std::size_t(c)] = QynMeasureKernels::sumsOf(histogram.counts[std::size_t(c)]);
    return stats;
}
