// Region statistics of a row, compiled once for every SIMD target by Highway's
// foreach_target and dispatched at run time at the end of this file.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "QynMeasureKernels.cc"
#include <hwy/foreach_target.h>  // IWYU pragma: keep

#include <hwy/highway.h>

#include "QynMeasureKernels.h"

#include <algorithm>
#include <cstring>

HWY_BEFORE_NAMESPACE();
namespace qyn_measure_kernels {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

using ChannelSums = QynMeasureKernels::ChannelSums;

// Pixels a block: each 32-bit lane then holds at most 16384 squares of up to 65025
// (about 2^30) before the block's totals go into the 64-bit sums.
constexpr std::ptrdiff_t BlockPixels = 16384;

// One channel's lanes: levels 0 to 255 in 32-bit lanes.
template <class D>
struct Lanes {
    using V = hn::Vec<D>;
    V sum, squares, zeros, fulls, min, max;

    explicit Lanes(D d)
        : sum(hn::Zero(d)), squares(hn::Zero(d)), zeros(hn::Zero(d)), fulls(hn::Zero(d)),
          min(hn::Set(d, 255u)), max(hn::Zero(d))
    {
    }

    HWY_INLINE void add(D d, V level)
    {
        sum = hn::Add(sum, level);
        squares = hn::Add(squares, hn::Mul(level, level));
        // A true lane of a mask is all ones, -1: subtracting it counts one.
        zeros = hn::Sub(zeros, hn::VecFromMask(d, hn::Eq(level, hn::Zero(d))));
        fulls = hn::Sub(fulls, hn::VecFromMask(d, hn::Eq(level, hn::Set(d, 255u))));
        min = hn::Min(min, level);
        max = hn::Max(max, level);
    }

    HWY_INLINE void flushInto(D d, ChannelSums& out) const
    {
        HWY_ALIGN std::uint32_t lane[6][hn::MaxLanes(D())];
        hn::Store(sum, d, lane[0]);
        hn::Store(squares, d, lane[1]);
        hn::Store(zeros, d, lane[2]);
        hn::Store(fulls, d, lane[3]);
        hn::Store(min, d, lane[4]);
        hn::Store(max, d, lane[5]);
        for (std::size_t i = 0; i < hn::Lanes(d); ++i) {
            out.sum += lane[0][i];
            out.sumSquares += lane[1][i];
            out.atZero += lane[2][i];
            out.atFull += lane[3][i];
            out.min = std::min(out.min, static_cast<std::uint8_t>(lane[4][i]));
            out.max = std::max(out.max, static_cast<std::uint8_t>(lane[5][i]));
        }
    }
};

void addLevel(ChannelSums& s, std::uint32_t level)
{
    s.sum += level;
    s.sumSquares += level * level;
    s.atZero += level == 0;
    s.atFull += level == 255;
    s.min = std::min(s.min, static_cast<std::uint8_t>(level));
    s.max = std::max(s.max, static_cast<std::uint8_t>(level));
}

void AddRow(const std::uint8_t* HWY_RESTRICT row, std::ptrdiff_t width, bool color,
            ChannelSums* HWY_RESTRICT sums)
{
    const hn::ScalableTag<std::uint32_t> d32;
    const hn::Rebind<std::uint8_t, decltype(d32)> d8;
    const auto n = static_cast<std::ptrdiff_t>(hn::Lanes(d32));
    const auto byteMask = hn::Set(d32, 0xffu);
    std::ptrdiff_t x = 0;
    while (x + n <= width) {
        const std::ptrdiff_t blockEnd = x + std::min(BlockPixels, (width - x) / n * n);
        if (color) {
            Lanes<decltype(d32)> b(d32), g(d32), r(d32);
            const std::uint32_t* words = reinterpret_cast<const std::uint32_t*>(row);
            for (; x < blockEnd; x += n) {
                const auto w = hn::LoadU(d32, words + x);
                b.add(d32, hn::And(w, byteMask));
                g.add(d32, hn::And(hn::ShiftRight<8>(w), byteMask));
                r.add(d32, hn::And(hn::ShiftRight<16>(w), byteMask));
            }
            b.flushInto(d32, sums[0]);
            g.flushInto(d32, sums[1]);
            r.flushInto(d32, sums[2]);
        } else {
            Lanes<decltype(d32)> gray(d32);
            for (; x < blockEnd; x += n)
                gray.add(d32, hn::PromoteTo(d32, hn::LoadU(d8, row + x)));
            gray.flushInto(d32, sums[0]);
        }
    }
    for (; x < width; ++x) {
        if (color) {
            std::uint32_t w;
            std::memcpy(&w, row + 4 * x, sizeof w);
            addLevel(sums[0], w & 0xff);
            addLevel(sums[1], (w >> 8) & 0xff);
            addLevel(sums[2], (w >> 16) & 0xff);
        } else {
            addLevel(sums[0], row[x]);
        }
    }
}

}  // namespace HWY_NAMESPACE
}  // namespace qyn_measure_kernels
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace qyn_measure_kernels {
HWY_EXPORT(AddRow);
}  // namespace qyn_measure_kernels

namespace QynMeasureKernels {

void ChannelSums::merge(const ChannelSums& other)
{
    sum += other.sum;
    sumSquares += other.sumSquares;
    atZero += other.atZero;
    atFull += other.atFull;
    min = std::min(min, other.min);
    max = std::max(max, other.max);
}

void addRow(const std::uint8_t* row, std::ptrdiff_t width, bool color, ChannelSums* sums)
{
    HWY_DYNAMIC_DISPATCH(qyn_measure_kernels::AddRow)(row, width, color, sums);
}

}  // namespace QynMeasureKernels
#endif  // HWY_ONCE
