#include "QynMeasureKernels.h"

#include <cstring>
#include <limits>

namespace QynMeasureKernels {

ChannelSums sumsOf(const std::array<std::uint64_t, 256>& counts)
{
    ChannelSums s;
    for (std::size_t v = 0; v < counts.size(); ++v) {
        const std::uint64_t n = counts[v];
        if (n == 0)
            continue;
        s.sum += v * n;
        s.sumSquares += v * v * n;
        if (s.min > v)
            s.min = static_cast<std::uint8_t>(v);
        s.max = static_cast<std::uint8_t>(v);
    }
    s.atZero = counts.front();
    s.atFull = counts.back();
    return s;
}

CountTables::CountTables(bool color)
    : color_(color)
{
    std::memset(tables_, 0, sizeof tables_);
}

void CountTables::addRow(const std::uint8_t* p, std::ptrdiff_t width)
{
    if (width <= 0)
        return;
    // A table entry counts at most every pixel since the last flush.
    if (sinceFlush_ + std::uint64_t(width) > std::numeric_limits<std::uint32_t>::max())
        flush();
    sinceFlush_ += std::uint64_t(width);
    auto& t = tables_;
    std::ptrdiff_t x = 0;
    if (color_) {
        for (; x + 2 <= width; x += 2) {
            const std::uint8_t* q = p + 4 * x;
            ++t[0][q[0]];
            ++t[1][q[1]];
            ++t[2][q[2]];
            ++t[3][q[4]];
            ++t[4][q[5]];
            ++t[5][q[6]];
        }
        if (x < width) {
            const std::uint8_t* q = p + 4 * x;
            ++t[0][q[0]];
            ++t[1][q[1]];
            ++t[2][q[2]];
        }
        return;
    }
    for (; x + 4 <= width; x += 4) {
        ++t[0][p[x]];
        ++t[1][p[x + 1]];
        ++t[2][p[x + 2]];
        ++t[3][p[x + 3]];
    }
    for (; x < width; ++x)
        ++t[0][p[x]];
}

void CountTables::flush()
{
    const auto& t = tables_;
    for (std::size_t v = 0; v < 256; ++v) {
        if (color_) {
            counts_[0][v] += std::uint64_t{t[2][v]} + t[5][v];
            counts_[1][v] += std::uint64_t{t[1][v]} + t[4][v];
            counts_[2][v] += std::uint64_t{t[0][v]} + t[3][v];
        } else {
            counts_[0][v] += std::uint64_t{t[0][v]} + t[1][v] + t[2][v] + t[3][v];
        }
    }
    std::memset(tables_, 0, sizeof tables_);
    sinceFlush_ = 0;
}

void CountTables::addTo(Counts& counts)
{
    flush();
    for (std::size_t c = 0; c < counts.size(); ++c)
        for (std::size_t v = 0; v < 256; ++v)
            counts[c][v] += counts_[c][v];
}

}  // namespace QynMeasureKernels
