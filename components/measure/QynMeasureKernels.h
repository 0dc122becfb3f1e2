#pragma once

#include <cstddef>
#include <cstdint>

// The vector part of region statistics, computed with the best SIMD instruction set the
// CPU offers (chosen at run time, in QynMeasureKernels.cc only; QynConvertKernels::useTarget
// pins it as it pins the conversion kernels).
namespace QynMeasureKernels {

// One channel's running totals, exact: integer sums of the levels and of their squares,
// the extremes and how many pixels sit at 0 and at 255 (clipped).
struct ChannelSums {
    std::uint64_t sum = 0;
    std::uint64_t sumSquares = 0;
    std::uint64_t atZero = 0;
    std::uint64_t atFull = 0;
    std::uint8_t min = 255;
    std::uint8_t max = 0;

    // Takes in another part's totals.
    void merge(const ChannelSums& other);
};

// Adds `width` pixels of one row to `sums`: one channel for gray rows (a byte a pixel),
// three for colour rows (32-bit words, memory order B, G, R, X): sums[0] blue, sums[1]
// green, sums[2] red. Reads each byte once.
void addRow(const std::uint8_t* row, std::ptrdiff_t width, bool color, ChannelSums* sums);

}  // namespace QynMeasureKernels
