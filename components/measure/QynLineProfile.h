#pragma once

#include "QynPixelBuffer.h"

#include <QLine>
#include <QPoint>

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

// The levels along a line of an image, one sample for every image pixel the line passes
// (Bresenham's line: each step moves one pixel along the longer axis), both ends
// included.
struct QynLineProfile {
    struct Sample {
        QPoint at;
        // Gray in [0]; or red, green, blue.
        std::array<std::uint8_t, 3> level{};
    };

    bool color = false;
    QLine line;  // the line sampled, inside the image
    std::vector<Sample> samples;

    int channelCount() const { return color ? 3 : 1; }

    // The line with both ends moved into the image (each coordinate clamped to its
    // bounds); none for an empty image.
    static std::optional<QLine> clamped(const QynPixelBuffer& pixels, QLine line);
    // Samples the line, its ends clamped into the image; no samples for an empty image.
    static QynLineProfile of(const QynPixelBuffer& pixels, QLine line);
};
