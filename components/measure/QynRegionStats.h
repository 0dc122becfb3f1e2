#pragma once

#include "QynHistogram.h"
#include "QynMeasureKernels.h"
#include "QynPixelBuffer.h"

#include <QRect>

#include <array>
#include <cstdint>

class QynRowPool;

// Statistics of a rectangle of an image, per channel: gray, or red, green and blue. Exact:
// the sums are integers taken from the rectangle's histogram, the mean and the standard
// deviation (of the population, divided by the pixel count) are computed from them once.
struct QynRegionStats {
    enum Channel { Red = 0, Green = 1, Blue = 2 };

    QRect region;           // the rectangle measured, inside the image
    bool color = false;     // three channels (red, green, blue) or one (gray)
    std::uint64_t pixels = 0;
    // Channel 0 is gray, or red; then green and blue.
    std::array<QynMeasureKernels::ChannelSums, 3> channels{};

    int channelCount() const { return color ? 3 : 1; }
    double mean(int channel) const;
    double standardDeviation(int channel) const;

    // The part of `region` inside the image; empty when they do not meet.
    static QRect clipped(const QynPixelBuffer& pixels, QRect region);
    // Measures the part of `region` inside the image (the whole image for a null rect),
    // sharing the rows among the pool's threads when it is worth it (pool may be null).
    static QynRegionStats of(const QynPixelBuffer& pixels, QRect region = {}, QynRowPool* pool = nullptr);
    // The statistics of the rectangle a histogram counted.
    static QynRegionStats of(const QynHistogram& histogram);
};
