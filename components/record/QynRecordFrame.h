#pragma once

#include "QynPixelBuffer.h"

#include <cstddef>
#include <cstdint>
#include <optional>

// One camera frame as a recording takes it: the pixels are borrowed for the length of
// the call that hands the frame over, and copied before it returns.
struct QynRecordFrame {
    const std::uint8_t* data = nullptr;  // the first row
    std::ptrdiff_t stride = 0;           // bytes from one row to the next
    int width = 0;
    int height = 0;
    QynPixelFormat format = QynPixelFormat::Gray8;  // colour: B, G, R, X bytes (X is not kept)
    // The camera's own number of the frame (a GigE Vision block id), where it has one.
    std::optional<std::uint64_t> number;
    // When the frame was taken, in nanoseconds on the source's clock, where known.
    std::optional<std::int64_t> timestampNs;
    // Frames the source knows it lost between the frame it delivered before and this one.
    std::uint64_t lostBefore = 0;
};
