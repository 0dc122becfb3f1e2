#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// The counting under every measurement of an image: a row's levels into tables, and a
// channel's exact totals from its counts. Counting is bound by the table increments, not
// by the reading, so no vector instruction set helps it: this is plain code.
namespace QynMeasureKernels {

// How many pixels have each level, per channel: channel 0 is gray, or red; then green
// and blue.
using Counts = std::array<std::array<std::uint64_t, 256>, 3>;

// One channel's totals, exact: integer sums of the levels and of their squares, the
// extremes and how many pixels sit at 0 and at 255 (clipped). With no pixels the
// extremes stay 255 and 0.
struct ChannelSums {
    std::uint64_t sum = 0;
    std::uint64_t sumSquares = 0;
    std::uint64_t atZero = 0;
    std::uint64_t atFull = 0;
    std::uint8_t min = 255;
    std::uint8_t max = 0;
};

// The totals of one channel's counts.
ChannelSums sumsOf(const std::array<std::uint64_t, 256>& counts);

// Counts levels into 32-bit tables, several a channel: consecutive pixels go into separate
// tables, so an increment need not wait for the one before it when neighbours share a
// level (flat areas, clipped highlights). The tables go into 64-bit counts before any
// entry could overflow. About 8 KB: keep one where the rows are read.
class CountTables {
public:
    explicit CountTables(bool color);

    // Counts `width` pixels from `row`: a byte a pixel for gray, 32-bit words in memory
    // order B, G, R, X for colour.
    void addRow(const std::uint8_t* row, std::ptrdiff_t width);
    // Adds everything counted to `counts`.
    void addTo(Counts& counts);

private:
    void flush();

    // Gray: four tables, pixel x into table x mod 4. Colour: pixel x's blue, green and
    // red into tables 3 (x mod 2) + 0, 1 and 2.
    static constexpr int Tables = 6;
    std::uint32_t tables_[Tables][256];
    Counts counts_{};
    std::uint64_t sinceFlush_ = 0;  // pixels in the tables
    bool color_;
};

}  // namespace QynMeasureKernels
