#pragma once

#include "QynPixelBuffer.h"

#include <QRect>

#include <array>
#include <cstdint>
#include <utility>

class QynRowPool;

// How many pixels of a rectangle have each level, per channel: gray, or red, green and
// blue. The counts at 0 and at 255 are the clipped pixels.
struct QynHistogram {
    QRect region;  // the rectangle counted, inside the image
    bool color = false;
    std::uint64_t pixels = 0;
    // Channel 0 is gray, or red; then green and blue.
    std::array<std::array<std::uint64_t, 256>, 3> counts{};

    int channelCount() const { return color ? 3 : 1; }
    std::uint64_t atZero(int channel) const { return counts[std::size_t(channel)][0]; }
    std::uint64_t atFull(int channel) const { return counts[std::size_t(channel)][255]; }
    // The largest count of any level of any channel (the height a chart scales to).
    std::uint64_t peak() const;

    // Counts the part of `region` inside the image (the whole image for a null rect),
    // sharing the rows among the pool's threads when it is worth it (pool may be null).
    static QynHistogram of(const QynPixelBuffer& pixels, QRect region = {}, QynRowPool* pool = nullptr);
    // The histograms of the whole image (first) and of the part of `region` inside it
    // (second; the whole image for a null rect), with the image read once: the region's
    // pixels are counted apart from the bands around it, and the image's counts are both.
    static std::pair<QynHistogram, QynHistogram> imageAndRegion(const QynPixelBuffer& pixels, QRect region,
                                                                QynRowPool* pool = nullptr);
};
