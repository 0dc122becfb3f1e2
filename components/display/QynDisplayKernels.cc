// The display's row sums, compiled once for every SIMD target by Highway's
// foreach_target and dispatched at run time at the end of this file.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "QynDisplayKernels.cc"
#include <hwy/foreach_target.h>  // IWYU pragma: keep

#include <hwy/highway.h>

#include "QynDisplayKernels.h"

#include <cstring>

HWY_BEFORE_NAMESPACE();
namespace qyn_display_kernels {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

// Bytes of 16-bit lanes that hold 0 to 255 (this Highway demotes only signed lanes).
template <class D8, class V16>
HWY_INLINE auto ToBytes(D8 d8, V16 v)
{
    const hn::RebindToSigned<hn::DFromV<V16>> di16;
    return hn::DemoteTo(d8, hn::BitCast(di16, v));
}

// Four vectors of 16-bit sums a pass, held in registers while the rows go by: the
// sums are stored once and every source byte is loaded once, widened on the way in.
void SumRows(const std::uint8_t* HWY_RESTRICT first, std::ptrdiff_t stride, int rows,
             std::ptrdiff_t bytes, std::uint16_t* HWY_RESTRICT sums)
{
    const hn::ScalableTag<std::uint16_t> d16;
    const hn::Rebind<std::uint8_t, decltype(d16)> d8;
    const auto n = static_cast<std::ptrdiff_t>(hn::Lanes(d16));
    std::ptrdiff_t i = 0;
    for (; i + 4 * n <= bytes; i += 4 * n) {
        const std::uint8_t* p = first + i;
        auto a0 = hn::PromoteTo(d16, hn::LoadU(d8, p));
        auto a1 = hn::PromoteTo(d16, hn::LoadU(d8, p + n));
        auto a2 = hn::PromoteTo(d16, hn::LoadU(d8, p + 2 * n));
        auto a3 = hn::PromoteTo(d16, hn::LoadU(d8, p + 3 * n));
        for (int r = 1; r < rows; ++r) {
            p += stride;
            a0 = hn::Add(a0, hn::PromoteTo(d16, hn::LoadU(d8, p)));
            a1 = hn::Add(a1, hn::PromoteTo(d16, hn::LoadU(d8, p + n)));
            a2 = hn::Add(a2, hn::PromoteTo(d16, hn::LoadU(d8, p + 2 * n)));
            a3 = hn::Add(a3, hn::PromoteTo(d16, hn::LoadU(d8, p + 3 * n)));
        }
        hn::StoreU(a0, d16, sums + i);
        hn::StoreU(a1, d16, sums + i + n);
        hn::StoreU(a2, d16, sums + i + 2 * n);
        hn::StoreU(a3, d16, sums + i + 3 * n);
    }
    for (; i < bytes; ++i) {
        const std::uint8_t* p = first + i;
        unsigned sum = 0;
        for (int r = 0; r < rows; ++r, p += stride)
            sum += *p;
        sums[i] = static_cast<std::uint16_t>(sum);
    }
}

// Two vectors a pass: factor unaligned loads and adds for every two vectors of sums.
void BoxSums(const std::uint16_t* HWY_RESTRICT values, int step, int factor, std::ptrdiff_t count,
             std::uint16_t* HWY_RESTRICT sums)
{
    const hn::ScalableTag<std::uint16_t> d16;
    const auto n = static_cast<std::ptrdiff_t>(hn::Lanes(d16));
    std::ptrdiff_t i = 0;
    for (; i + 2 * n <= count; i += 2 * n) {
        const std::uint16_t* p = values + i;
        auto a0 = hn::LoadU(d16, p);
        auto a1 = hn::LoadU(d16, p + n);
        for (int j = 1; j < factor; ++j) {
            p += step;
            a0 = hn::Add(a0, hn::LoadU(d16, p));
            a1 = hn::Add(a1, hn::LoadU(d16, p + n));
        }
        hn::StoreU(a0, d16, sums + i);
        hn::StoreU(a1, d16, sums + i + n);
    }
    for (; i < count; ++i) {
        unsigned sum = 0;
        for (int j = 0; j < factor; ++j)
            sum += values[i + std::ptrdiff_t{j} * step];
        sums[i] = static_cast<std::uint16_t>(sum);
    }
}

// The quotient by a multiplication: with m = ceil(2^24 / count), ((s + count / 2) * m)
// >> 24 is exact for every dividend below 256 x count (the error term stays below
// 1 / count while 256 x count^2 <= 2^24), and the product stays below 2^32.
void DivideSums(const std::uint16_t* HWY_RESTRICT sums, std::uint32_t count, std::ptrdiff_t n,
                bool opaque, std::uint8_t* HWY_RESTRICT out)
{
    const hn::ScalableTag<std::uint32_t> d32;
    const hn::Rebind<std::uint16_t, decltype(d32)> d16;
    const hn::Rebind<std::uint8_t, decltype(d32)> d8;
    const hn::RebindToSigned<decltype(d32)> di32;
    const std::uint32_t multiplier = ((1u << 24) + count - 1) / count;
    const auto half = hn::Set(d32, count / 2);
    const auto m = hn::Set(d32, multiplier);
    const auto three = hn::Set(d8, std::uint8_t{3});
    const auto x = hn::IfThenElseZero(hn::Eq(hn::And(hn::Iota(d8, 0), three), three),
                                      hn::Set(d8, static_cast<std::uint8_t>(opaque ? 0xff : 0)));
    const auto lanes = static_cast<std::ptrdiff_t>(hn::Lanes(d32));
    std::ptrdiff_t i = 0;
    // Whole vectors only when a vector holds whole pixels.
    if (!opaque || lanes % 4 == 0) {
        for (; i + lanes <= n; i += lanes) {
            const auto q = hn::ShiftRight<24>(
                hn::Mul(hn::Add(hn::PromoteTo(d32, hn::LoadU(d16, sums + i)), half), m));
            hn::StoreU(hn::Or(hn::DemoteTo(d8, hn::BitCast(di32, q)), x), d8, out + i);
        }
    }
    for (; i < n; ++i)
        out[i] = opaque && i % 4 == 3
            ? std::uint8_t{0xff}
            : static_cast<std::uint8_t>(((sums[i] + count / 2) * multiplier) >> 24);
}

// Two vectors a pass, every row's weight broadcast once a pass.
void WeighRows(const std::uint8_t* HWY_RESTRICT first, std::ptrdiff_t stride,
               const std::uint16_t* HWY_RESTRICT weights, int count, std::ptrdiff_t bytes,
               std::uint8_t* HWY_RESTRICT out)
{
    const hn::ScalableTag<std::uint16_t> d16;
    const hn::Rebind<std::uint8_t, decltype(d16)> d8;
    const auto n = static_cast<std::ptrdiff_t>(hn::Lanes(d16));
    const auto half = hn::Set(d16, 128);
    std::ptrdiff_t i = 0;
    for (; i + 2 * n <= bytes; i += 2 * n) {
        auto a0 = half;
        auto a1 = half;
        const std::uint8_t* p = first + i;
        for (int t = 0; t < count; ++t, p += stride) {
            const auto w = hn::Set(d16, weights[t]);
            a0 = hn::Add(a0, hn::Mul(hn::PromoteTo(d16, hn::LoadU(d8, p)), w));
            a1 = hn::Add(a1, hn::Mul(hn::PromoteTo(d16, hn::LoadU(d8, p + n)), w));
        }
        hn::StoreU(ToBytes(d8, hn::ShiftRight<8>(a0)), d8, out + i);
        hn::StoreU(ToBytes(d8, hn::ShiftRight<8>(a1)), d8, out + i + n);
    }
    for (; i < bytes; ++i) {
        unsigned sum = 128;
        for (int t = 0; t < count; ++t)
            sum += unsigned{weights[t]} * first[std::ptrdiff_t{t} * stride + i];
        out[i] = static_cast<std::uint8_t>(sum >> 8);
    }
}

void WeighColumns(const std::uint8_t* HWY_RESTRICT tapped,
                  const std::uint16_t* HWY_RESTRICT weights, int taps, std::ptrdiff_t count,
                  bool grayToRgb32, std::uint8_t* HWY_RESTRICT out)
{
    std::ptrdiff_t i = 0;
    if (grayToRgb32) {
        const hn::ScalableTag<std::uint32_t> d32;
        const hn::Rebind<std::uint8_t, decltype(d32)> d8;
        const hn::Rebind<std::uint16_t, decltype(d32)> d16;
        const auto n = static_cast<std::ptrdiff_t>(hn::Lanes(d32));
        for (; i + n <= count; i += n) {
            auto sum = hn::Set(d32, 128);
            for (int t = 0; t < taps; ++t) {
                const std::ptrdiff_t at = std::ptrdiff_t{t} * count + i;
                sum = hn::Add(sum, hn::Mul(hn::PromoteTo(d32, hn::LoadU(d8, tapped + at)),
                                           hn::PromoteTo(d32, hn::LoadU(d16, weights + at))));
            }
            const auto level = hn::ShiftRight<8>(sum);
            hn::StoreU(hn::Or(hn::Mul(level, hn::Set(d32, 0x010101u)), hn::Set(d32, 0xff000000u)),
                       d32, reinterpret_cast<std::uint32_t*>(out) + i);
        }
    } else {
        const hn::ScalableTag<std::uint16_t> d16;
        const hn::Rebind<std::uint8_t, decltype(d16)> d8;
        const auto n = static_cast<std::ptrdiff_t>(hn::Lanes(d16));
        for (; i + n <= count; i += n) {
            auto sum = hn::Set(d16, 128);
            for (int t = 0; t < taps; ++t) {
                const std::ptrdiff_t at = std::ptrdiff_t{t} * count + i;
                sum = hn::Add(sum, hn::Mul(hn::PromoteTo(d16, hn::LoadU(d8, tapped + at)),
                                           hn::LoadU(d16, weights + at)));
            }
            hn::StoreU(ToBytes(d8, hn::ShiftRight<8>(sum)), d8, out + i);
        }
    }
    for (; i < count; ++i) {
        unsigned sum = 128;
        for (int t = 0; t < taps; ++t) {
            const std::ptrdiff_t at = std::ptrdiff_t{t} * count + i;
            sum += unsigned{tapped[at]} * weights[at];
        }
        const std::uint32_t level = sum >> 8;
        if (grayToRgb32) {
            const std::uint32_t word = 0xff000000u | level * 0x010101u;
            std::memcpy(out + 4 * i, &word, sizeof word);
        } else {
            out[i] = static_cast<std::uint8_t>(level);
        }
    }
}

// One 16-byte load and one byte shuffle a group: a magnified view reads each source
// pixel once or twice, and four output pixels never reach past 16 source bytes.
void SampleRow(const std::uint8_t* HWY_RESTRICT source, const std::int32_t* HWY_RESTRICT starts,
               const std::uint8_t* HWY_RESTRICT shuffles, std::ptrdiff_t groups,
               std::uint32_t* HWY_RESTRICT out)
{
    static_assert(QynDisplayKernels::SampledGroup == 4, "one 128-bit vector of words a group");
#if HWY_TARGET == HWY_SCALAR
    for (std::ptrdiff_t g = 0; g < groups; ++g) {
        std::uint8_t picked[16];
        for (int i = 0; i < 16; ++i) {
            const std::uint8_t index = shuffles[16 * g + i];
            picked[i] = index & 0x80 ? 0 : source[starts[g] + (index & 15)];
        }
        for (int k = 0; k < 4; ++k) {
            std::uint32_t word;
            std::memcpy(&word, picked + 4 * k, sizeof word);
            out[4 * g + k] = word | 0xff000000u;
        }
    }
#else
    const hn::Full128<std::uint8_t> d8;
    const hn::Full128<std::uint32_t> d32;
    const auto opaque = hn::Set(d32, 0xff000000u);
    for (std::ptrdiff_t g = 0; g < groups; ++g) {
        const auto bytes = hn::LoadU(d8, source + starts[g]);
        const auto picked = hn::TableLookupBytesOr0(bytes, hn::LoadU(d8, shuffles + 16 * g));
        hn::StoreU(hn::Or(hn::BitCast(d32, picked), opaque), d32, out + 4 * g);
    }
#endif
}

}  // namespace HWY_NAMESPACE
}  // namespace qyn_display_kernels
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace qyn_display_kernels {
HWY_EXPORT(SumRows);
HWY_EXPORT(BoxSums);
HWY_EXPORT(DivideSums);
HWY_EXPORT(WeighRows);
HWY_EXPORT(WeighColumns);
HWY_EXPORT(SampleRow);
}  // namespace qyn_display_kernels

namespace QynDisplayKernels {

void sumRows(const std::uint8_t* first, std::ptrdiff_t stride, int rows, std::ptrdiff_t bytes,
             std::uint16_t* sums)
{
    HWY_DYNAMIC_DISPATCH(qyn_display_kernels::SumRows)(first, stride, rows, bytes, sums);
}

void boxSums(const std::uint16_t* values, int step, int factor, std::ptrdiff_t count,
             std::uint16_t* sums)
{
    HWY_DYNAMIC_DISPATCH(qyn_display_kernels::BoxSums)(values, step, factor, count, sums);
}

void divideSums(const std::uint16_t* sums, std::uint32_t count, std::ptrdiff_t n, bool opaque,
                std::uint8_t* out)
{
    HWY_DYNAMIC_DISPATCH(qyn_display_kernels::DivideSums)(sums, count, n, opaque, out);
}

void weighRows(const std::uint8_t* first, std::ptrdiff_t stride, const std::uint16_t* weights,
               int count, std::ptrdiff_t bytes, std::uint8_t* out)
{
    HWY_DYNAMIC_DISPATCH(qyn_display_kernels::WeighRows)(first, stride, weights, count, bytes,
                                                         out);
}

void weighColumns(const std::uint8_t* tapped, const std::uint16_t* weights, int taps,
                  std::ptrdiff_t count, bool grayToRgb32, std::uint8_t* out)
{
    HWY_DYNAMIC_DISPATCH(qyn_display_kernels::WeighColumns)(tapped, weights, taps, count,
                                                            grayToRgb32, out);
}

void sampleRow(const std::uint8_t* source, const std::int32_t* starts, const std::uint8_t* shuffles,
               std::ptrdiff_t groups, std::uint32_t* out)
{
    HWY_DYNAMIC_DISPATCH(qyn_display_kernels::SampleRow)(source, starts, shuffles, groups, out);
}

}  // namespace QynDisplayKernels
#endif  // HWY_ONCE
