// The conversion kernels, compiled once for every SIMD target by Highway's
// foreach_target and dispatched at run time in exactly one place (the end of this file).
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "QynConvertKernels.cc"
#include <hwy/foreach_target.h>  // IWYU pragma: keep

#include <hwy/cache_control.h>
#include <hwy/highway.h>

#include "QynConvertKernels.h"

#include <cstdint>
#include <cstring>

#ifndef QYN_CONVERT_KERNELS_SHARED
#define QYN_CONVERT_KERNELS_SHARED
namespace qyn_kernels {

using Size = std::ptrdiff_t;

// Colour to gray, prepared once per call. The float path adds a magic number that
// leaves `fractionBits` bits of the gray level's fraction in the low bits of the float's
// mantissa: one integer add then puts the rounded level above those bits and a half
// step plus `margin` in them. A fraction at or below twice the margin may round
// differently in double (ties included); such blocks, and every pixel when the weights
// are too large for the float path, take the double path.
struct GrayParams {
    QynGrayWeights weights;
    float red = 0, green = 0, blue = 0;
    float magic = 0;          // 1.5 * 2^(23 - fractionBits)
    std::int32_t offset = 0;  // 2^(fractionBits - 1) + margin - the bits of magic
    int fractionBits = 0;
    std::int32_t nearLimit = 0;  // 2 * margin
    bool useFloat = false;
};

// A colour table in which every byte of the entry rises by one, falls by one or stays
// the same from one gray level to the next (modulo 256), like the program's yellow to
// blue table or a gray ramp. Such an entry is computed instead of looked up: spread the
// level over the four bytes, then base + (spread & rise) - (spread & fall), byte by byte.
struct GrayRamp {
    std::uint32_t base = 0, rise = 0, fall = 0;  // rise and fall: 0xff in the moving bytes
};

// Pixels before `p` reaches an `align`-byte boundary, or -1 when it never does.
inline Size pixelsToAlign(const void* p, std::size_t align, std::size_t bytesPerPixel)
{
    const std::size_t bytes = (0 - reinterpret_cast<std::uintptr_t>(p)) & (align - 1);
    return bytes % bytesPerPixel ? -1 : static_cast<Size>(bytes / bytesPerPixel);
}

}  // namespace qyn_kernels
#endif

HWY_BEFORE_NAMESPACE();
namespace qyn_kernels {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

#if HWY_TARGET == HWY_SCALAR || HWY_TARGET == HWY_EMU128
// No vectors worth having: the reference is the kernel.
void ComposeRun(const std::uint8_t* r, const std::uint8_t* g, const std::uint8_t* b,
                std::uint8_t* out, Size n, bool)
{
    QynConvertReference::compose({r, 0}, {g, 0}, {b, 0}, {out, 0}, n, 1);
}
void DecomposeRun(const std::uint8_t* in, std::uint8_t* r, std::uint8_t* g, std::uint8_t* b,
                  Size n, bool)
{
    QynConvertReference::decompose({in, 0}, {r, 0}, {g, 0}, {b, 0}, n, 1);
}
void ColorToGrayRun(const std::uint8_t* in, std::uint8_t* out, Size n, const GrayParams& p, bool)
{
    QynConvertReference::colorToGray({in, 0}, {out, 0}, n, 1, p.weights);
}
void GrayToColorRun(const std::uint8_t* in, std::uint8_t* out, Size n,
                    const std::uint32_t* table, bool)
{
    QynConvertReference::grayToColor({in, 0}, {out, 0}, n, 1, table);
}
void GrayRampRun(const std::uint8_t* in, std::uint8_t* out, Size n, const std::uint32_t* table,
                 const GrayRamp&, bool)
{
    QynConvertReference::grayToColor({in, 0}, {out, 0}, n, 1, table);
}
#else

// Streaming stores fill whole cache lines back to back: a line left half written may be
// sent to memory on its own, costing a second transaction.
constexpr std::size_t kLine = 64;
constexpr Size kPerLine = HWY_MAX_BYTES < 64 ? 64 / HWY_MAX_BYTES : 1;  // vectors a line

// Asks for the `bytes` from `from` on that a unit will read 2 KiB later, when they lie
// inside the row ending at `end`. Used with streaming stores, on images far larger than
// the caches: the hardware prefetcher alone leaves the core waiting for memory there.
HWY_INLINE void PrefetchAhead(const std::uint8_t* from, Size bytes, const std::uint8_t* end)
{
    constexpr Size kAhead = 2048;
    if (end - from < kAhead + bytes)
        return;
    for (Size i = 0; i < bytes; i += static_cast<Size>(kLine))
        hwy::Prefetch(from + kAhead + i);
}

// Walks a row of n pixels in units of `unit` pixels: with streaming, a scalar head up to
// the destination's vector alignment (`head` pixels, -1 = never aligned) and streamed
// units; then cached units, the last one overlapping the one before instead of a
// scalar tail (it rewrites the same bytes). Rows shorter than a unit go scalar.
template <class Vector, class Scalar>
HWY_INLINE void WalkRow(Size n, Size unit, Size head, bool stream, const Vector& vector,
                        const Scalar& scalar)
{
    if (n < unit) {
        scalar(0, n);
        return;
    }
    Size x = 0;
    if (stream && head >= 0 && head + unit <= n) {
        scalar(0, head);
        for (x = head; x + unit <= n; x += unit)
            vector(x, true);
        hwy::FlushStream();
    }
    for (; x + unit <= n; x += unit)
        vector(x, false);
    if (x < n)
        vector(n - unit, false);
}

// ------------------------------------------------------------------ compose

void ComposeRun(const std::uint8_t* HWY_RESTRICT r, const std::uint8_t* HWY_RESTRICT g,
                const std::uint8_t* HWY_RESTRICT b, std::uint8_t* HWY_RESTRICT out, Size n,
                bool stream)
{
    const hn::ScalableTag<std::uint8_t> d8;
    const Size unit = static_cast<Size>(hn::Lanes(d8));
    const auto zero = hn::Zero(d8);
    const auto vector = [&](Size x, bool streamed) {
        const auto vr = hn::LoadU(d8, r + x);
        const auto vg = hn::LoadU(d8, g + x);
        const auto vb = hn::LoadU(d8, b + x);
        if (!streamed) {
            hn::StoreInterleaved4(vb, vg, vr, zero, d8, out + 4 * x);
            return;
        }
        // Interleave through a small buffer that stays in L1, then stream it out.
        HWY_ALIGN std::uint8_t bounce[4 * HWY_MAX_BYTES];
        hn::StoreInterleaved4(vb, vg, vr, zero, d8, bounce);
        for (Size i = 0; i < 4; ++i)
            hn::Stream(hn::Load(d8, bounce + i * unit), d8, out + 4 * x + i * unit);
    };
    const auto scalar = [&](Size x0, Size x1) {
        QynConvertReference::compose({r + x0, 0}, {g + x0, 0}, {b + x0, 0}, {out + 4 * x0, 0},
                                     x1 - x0, 1);
    };
    WalkRow(n, unit, pixelsToAlign(out, kLine, 4), stream, vector, scalar);
}

// ---------------------------------------------------------------- decompose

void DecomposeRun(const std::uint8_t* HWY_RESTRICT in, std::uint8_t* HWY_RESTRICT r,
                  std::uint8_t* HWY_RESTRICT g, std::uint8_t* HWY_RESTRICT b, Size n,
                  bool stream)
{
    const hn::ScalableTag<std::uint8_t> d8;
    const Size lanes = static_cast<Size>(hn::Lanes(d8));
    const auto vector = [&](Size x, bool streamed) {
        if (streamed)
            PrefetchAhead(in + 4 * x, 4 * kPerLine * lanes, in + 4 * n);
        hn::Vec<decltype(d8)> vb[kPerLine], vg[kPerLine], vr[kPerLine], vx;
        for (Size i = 0; i < kPerLine; ++i)
            hn::LoadInterleaved4(d8, in + 4 * (x + i * lanes), vb[i], vg[i], vr[i], vx);
        // Each plane gets its whole line at once.
        for (auto [plane, v] : {std::pair{r, vr}, std::pair{g, vg}, std::pair{b, vb}})
            for (Size i = 0; i < kPerLine; ++i) {
                if (streamed)
                    hn::Stream(v[i], d8, plane + x + i * lanes);
                else
                    hn::StoreU(v[i], d8, plane + x + i * lanes);
            }
    };
    const auto scalar = [&](Size x0, Size x1) {
        QynConvertReference::decompose({in + 4 * x0, 0}, {r + x0, 0}, {g + x0, 0},
                                       {b + x0, 0}, x1 - x0, 1);
    };
    // The three planes stream only when they reach alignment together.
    Size head = pixelsToAlign(r, kLine, 1);
    if (head != pixelsToAlign(g, kLine, 1) || head != pixelsToAlign(b, kLine, 1))
        head = -1;
    WalkRow(n, kPerLine * lanes, head, stream, vector, scalar);
}

// ------------------------------------------------------------ colour to gray

using DI = hn::ScalableTag<std::int32_t>;
using DF = hn::Rebind<float, DI>;

// Red, green and blue of each colour word as 32-bit integers.
HWY_INLINE void SplitChannels(DI di, hn::Vec<DI> px, hn::Vec<DI>& r, hn::Vec<DI>& g,
                              hn::Vec<DI>& b)
{
    const hn::Repartition<std::uint8_t, DI> d8;
    // Byte shuffles within each 128-bit block; indexes with the top bit set give zero.
    alignas(16) static constexpr std::uint8_t kGreen[16] = {1,  128, 128, 128, 5,  128, 128, 128,
                                                            9,  128, 128, 128, 13, 128, 128, 128};
    alignas(16) static constexpr std::uint8_t kRed[16] = {2,  128, 128, 128, 6,  128, 128, 128,
                                                          10, 128, 128, 128, 14, 128, 128, 128};
    const auto bytes = hn::BitCast(d8, px);
    r = hn::BitCast(di, hn::TableLookupBytesOr0(bytes, hn::LoadDup128(d8, kRed)));
    g = hn::BitCast(di, hn::TableLookupBytesOr0(bytes, hn::LoadDup128(d8, kGreen)));
    b = hn::And(px, hn::Set(di, 0xff));
}

// The reference rule in double lanes, for one half of a vector of pixels.
template <class DH>
HWY_INLINE hn::Vec<DH> ExactHalf(DH dh, hn::Vec<DH> r, hn::Vec<DH> g, hn::Vec<DH> b,
                                 const QynGrayWeights& w)
{
    const hn::Rebind<double, DH> dd;
    const auto v = hn::Add(hn::Add(hn::Mul(hn::Set(dd, w.red), hn::PromoteTo(dd, r)),
                                   hn::Mul(hn::Set(dd, w.green), hn::PromoteTo(dd, g))),
                           hn::Mul(hn::Set(dd, w.blue), hn::PromoteTo(dd, b)));
    const auto number = hn::IfThenElseZero(hn::Eq(v, v), v);  // NaN gives 0
    const auto clamped = hn::Min(hn::Max(number, hn::Zero(dd)), hn::Set(dd, 255.0));
    return hn::DemoteTo(dh, hn::Round(clamped));
}

HWY_INLINE hn::Vec<DI> ExactGray(DI di, hn::Vec<DI> r, hn::Vec<DI> g, hn::Vec<DI> b,
                                 const QynGrayWeights& w)
{
    const hn::Half<DI> dh;
    const auto lo = ExactHalf(dh, hn::LowerHalf(dh, r), hn::LowerHalf(dh, g),
                              hn::LowerHalf(dh, b), w);
    const auto hi = ExactHalf(dh, hn::UpperHalf(dh, r), hn::UpperHalf(dh, g),
                              hn::UpperHalf(dh, b), w);
    return hn::Combine(di, hi, lo);
}

// The float sum with the magic number added: the gray level above `fractionBits` bits of
// its fraction. It may use fused multiply-adds: they only shrink its error, and the
// error bound covers separate roundings.
HWY_INLINE hn::Vec<DI> FloatFixed(DI di, hn::Vec<DI> r, hn::Vec<DI> g, hn::Vec<DI> b,
                                  const GrayParams& p)
{
    const DF df;
    const auto red = hn::Mul(hn::Set(df, p.red), hn::ConvertTo(df, r));
    const auto v = hn::MulAdd(hn::Set(df, p.blue), hn::ConvertTo(df, b),
                              hn::MulAdd(hn::Set(df, p.green), hn::ConvertTo(df, g), red));
    return hn::Add(hn::BitCast(di, hn::Add(v, hn::Set(df, p.magic))), hn::Set(di, p.offset));
}

// The exact path for a block of 4 * Lanes(di) colour words: with the float path, only
// the vectors with a lane near a rounding boundary (ties included) are redone. Kept out
// of line so that the rare case takes no registers from the loop.
HWY_NOINLINE void ExactGrayOf4(const std::uint8_t* in, const GrayParams& p,
                               hn::Vec<DI> (&gray)[4])
{
    const DI di;
    const hn::Repartition<std::uint8_t, DI> d8;
    const Size lanes = static_cast<Size>(hn::Lanes(di));
    for (Size i = 0; i < 4; ++i) {
        hn::Vec<DI> r, g, b;
        SplitChannels(di, hn::BitCast(di, hn::LoadU(d8, in + 4 * i * lanes)), r, g, b);
        if (p.useFloat) {
            const auto fraction = hn::And(FloatFixed(di, r, g, b, p),
                                          hn::Set(di, (1 << p.fractionBits) - 1));
            if (hn::AllFalse(di, hn::Lt(fraction, hn::Set(di, p.nearLimit + 1))))
                continue;  // the float level stands
        }
        gray[i] = ExactGray(di, r, g, b, p.weights);
    }
}

// Gray levels of 4 * Lanes(di) colour words, before saturation to 0..255. The float
// path serves the block when no lane lies near a rounding boundary.
HWY_INLINE void GrayOf4(DI di, const std::uint8_t* in, const GrayParams& p,
                        hn::Vec<DI> (&gray)[4])
{
    const hn::Repartition<std::uint8_t, DI> d8;
    const Size lanes = static_cast<Size>(hn::Lanes(di));
    if (p.useFloat) {
        const auto fractionMask = hn::Set(di, (1 << p.fractionBits) - 1);
        auto fraction = fractionMask;  // the smallest fraction of the block
        for (Size i = 0; i < 4; ++i) {
            hn::Vec<DI> r, g, b;
            SplitChannels(di, hn::BitCast(di, hn::LoadU(d8, in + 4 * i * lanes)), r, g, b);
            const auto fixed = FloatFixed(di, r, g, b, p);
            fraction = hn::Min(fraction, hn::And(fixed, fractionMask));
            gray[i] = hn::ShiftRightSame(fixed, p.fractionBits);
        }
        if (HWY_LIKELY(hn::AllFalse(di, hn::Lt(fraction, hn::Set(di, p.nearLimit + 1)))))
            return;
    }
    ExactGrayOf4(in, p, gray);
}

void ColorToGrayRun(const std::uint8_t* HWY_RESTRICT in, std::uint8_t* HWY_RESTRICT out, Size n,
                    const GrayParams& p, bool stream)
{
    const DI di;
    const hn::Rebind<std::uint8_t, DI> dq;  // one byte per pixel of a DI vector
    const hn::ScalableTag<std::uint8_t> d8;
    const Size lanes = static_cast<Size>(hn::Lanes(di));
    // Four vectors of pixels make one vector of gray bytes; a unit fills a cache line.
    const auto pack = [&](Size x, std::uint8_t* to) {
        hn::Vec<DI> g[4];
        GrayOf4(di, in + 4 * x, p, g);
#if HWY_TARGET == HWY_AVX2
        // Saturating packs, then the 4-byte groups back into pixel order.
        const __m256i words = _mm256_packus_epi16(_mm256_packs_epi32(g[0].raw, g[1].raw),
                                                  _mm256_packs_epi32(g[2].raw, g[3].raw));
        const __m256i order = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);
        hn::StoreU(hn::Vec<decltype(d8)>{_mm256_permutevar8x32_epi32(words, order)}, d8, to);
#else
        for (Size i = 0; i < 4; ++i)
            hn::StoreU(hn::DemoteTo(dq, g[i]), dq, to + i * lanes);
#endif
    };
    const auto vector = [&](Size x, bool streamed) {
        if (!streamed) {
            for (Size i = 0; i < kPerLine; ++i)
                pack(x + i * 4 * lanes, out + x + i * 4 * lanes);
            return;
        }
        PrefetchAhead(in + 4 * x, 4 * kPerLine * 4 * lanes, in + 4 * n);
        HWY_ALIGN std::uint8_t line[kLine];
        for (Size i = 0; i < kPerLine; ++i)
            pack(x + i * 4 * lanes, line + i * 4 * lanes);
        for (Size i = 0; i < kPerLine; ++i)
            hn::Stream(hn::Load(d8, line + i * 4 * lanes), d8, out + x + i * 4 * lanes);
    };
    const auto scalar = [&](Size x0, Size x1) {
        QynConvertReference::colorToGray({in + 4 * x0, 0}, {out + x0, 0}, x1 - x0, 1,
                                         p.weights);
    };
    WalkRow(n, kPerLine * 4 * lanes, pixelsToAlign(out, kLine, 1), stream, vector, scalar);
}

// ------------------------------------------------------------ gray to colour

void GrayToColorRun(const std::uint8_t* HWY_RESTRICT in, std::uint8_t* HWY_RESTRICT out, Size n,
                    const std::uint32_t* HWY_RESTRICT table, bool stream)
{
    const DI di;
    const hn::Rebind<std::uint8_t, DI> dq;
    const hn::Repartition<std::uint8_t, DI> d8;
    const Size lanes = static_cast<Size>(hn::Lanes(di));
    const auto* entries = reinterpret_cast<const std::int32_t*>(table);
    const auto vector = [&](Size x, bool streamed) {
        hn::Vec<DI> v[kPerLine];
        for (Size i = 0; i < kPerLine; ++i) {
#if HWY_TARGET == HWY_AVX2
            // Gathers are slow on AMD cores: eight scalar lookups, their indexes taken
            // from one 64-bit load, are faster, in the caches and streaming.
            std::uint64_t k;
            std::memcpy(&k, in + x + i * lanes, sizeof k);
            v[i] = hn::Vec<DI>{_mm256_setr_epi32(
                entries[k & 0xff], entries[k >> 8 & 0xff], entries[k >> 16 & 0xff],
                entries[k >> 24 & 0xff], entries[k >> 32 & 0xff], entries[k >> 40 & 0xff],
                entries[k >> 48 & 0xff], entries[k >> 56])};
#else
            v[i] = hn::GatherIndex(di, entries, hn::PromoteTo(di, hn::LoadU(dq, in + x + i * lanes)));
#endif
        }
        for (Size i = 0; i < kPerLine; ++i) {
            if (streamed)
                hn::Stream(hn::BitCast(d8, v[i]), d8, out + 4 * (x + i * lanes));
            else
                hn::StoreU(hn::BitCast(d8, v[i]), d8, out + 4 * (x + i * lanes));
        }
    };
    const auto scalar = [&](Size x0, Size x1) {
        QynConvertReference::grayToColor({in + x0, 0}, {out + 4 * x0, 0}, x1 - x0, 1, table);
    };
    WalkRow(n, kPerLine * lanes, pixelsToAlign(out, kLine, 4), stream, vector, scalar);
}

void GrayRampRun(const std::uint8_t* HWY_RESTRICT in, std::uint8_t* HWY_RESTRICT out, Size n,
                 const std::uint32_t* HWY_RESTRICT table, const GrayRamp& ramp, bool stream)
{
    const hn::ScalableTag<std::uint32_t> du;
    const hn::Rebind<std::uint8_t, decltype(du)> dq;
    const hn::Repartition<std::uint8_t, decltype(du)> d8;
    const Size lanes = static_cast<Size>(hn::Lanes(du));
    // Byte 0 of each word copied to its four bytes.
    alignas(16) static constexpr std::uint8_t kSpread[16] = {0, 0, 0, 0, 4,  4,  4,  4,
                                                             8, 8, 8, 8, 12, 12, 12, 12};
    const auto spread = hn::LoadDup128(d8, kSpread);
    const auto base = hn::BitCast(d8, hn::Set(du, ramp.base));
    const auto rise = hn::BitCast(d8, hn::Set(du, ramp.rise));
    const auto fall = hn::BitCast(d8, hn::Set(du, ramp.fall));
    const auto vector = [&](Size x, bool streamed) {
        for (Size i = 0; i < kPerLine; ++i) {
            const auto level = hn::BitCast(d8, hn::PromoteTo(du, hn::LoadU(dq, in + x + i * lanes)));
            const auto w = hn::TableLookupBytes(level, spread);
            const auto v = hn::Sub(hn::Add(base, hn::And(w, rise)), hn::And(w, fall));
            if (streamed)
                hn::Stream(v, d8, out + 4 * (x + i * lanes));
            else
                hn::StoreU(v, d8, out + 4 * (x + i * lanes));
        }
    };
    const auto scalar = [&](Size x0, Size x1) {
        QynConvertReference::grayToColor({in + x0, 0}, {out + 4 * x0, 0}, x1 - x0, 1, table);
    };
    WalkRow(n, kPerLine * lanes, pixelsToAlign(out, kLine, 4), stream, vector, scalar);
}

#endif  // vector targets

std::int64_t CurrentTarget()
{
    return HWY_TARGET;
}

}  // namespace HWY_NAMESPACE
}  // namespace qyn_kernels
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
#include <algorithm>
#include <cmath>
#include <optional>

namespace qyn_kernels {

HWY_EXPORT(ComposeRun);
HWY_EXPORT(DecomposeRun);
HWY_EXPORT(ColorToGrayRun);
HWY_EXPORT(GrayToColorRun);
HWY_EXPORT(GrayRampRun);
HWY_EXPORT(CurrentTarget);

// Rows of contiguous planes join into one long row.
inline bool joinRows(std::ptrdiff_t& width, std::ptrdiff_t& height,
                     std::initializer_list<std::pair<std::ptrdiff_t, int>> strides)
{
    for (const auto& [stride, bytesPerPixel] : strides)
        if (stride != width * bytesPerPixel)
            return false;
    width *= height;
    height = 1;
    return true;
}

GrayParams grayParams(const QynGrayWeights& w)
{
    GrayParams p;
    p.weights = w;
    // The float sum differs from the double one by less than 6.01 * 2^-24 * S (S = the
    // largest sum of the products' magnitudes: weights rounded to float, three products
    // and two sums rounded); the bound used is 8 * 2^-24 * S, plus room for weights
    // below float's normal range.
    const double sum = (std::fabs(w.red) + std::fabs(w.green) + std::fabs(w.blue)) * 255.0;
    if (!std::isfinite(sum))
        return p;
    int exponent = 0;  // every float sum lies below 2^exponent
    std::frexp(sum * 1.001, &exponent);
    const int fractionBits = 22 - std::max(exponent, 0);
    const double bound = sum * 0x1p-21 + 0x1p-30;
    const int margin = static_cast<int>(std::floor(std::ldexp(bound, fractionBits))) + 2;
    if (fractionBits < 10 || margin > 4)  // too many blocks would fall back
        return p;
    p.useFloat = true;
    p.red = static_cast<float>(w.red);
    p.green = static_cast<float>(w.green);
    p.blue = static_cast<float>(w.blue);
    p.magic = std::ldexp(1.5f, 23 - fractionBits);
    std::int32_t magicBits = 0;
    std::memcpy(&magicBits, &p.magic, sizeof magicBits);
    p.fractionBits = fractionBits;
    p.offset = (1 << (fractionBits - 1)) + margin - magicBits;
    p.nearLimit = 2 * margin;
    return p;
}

// Adds b to a byte by byte, each byte modulo 256.
constexpr std::uint32_t addBytes(std::uint32_t a, std::uint32_t b)
{
    return ((a & 0x7f7f7f7fu) + (b & 0x7f7f7f7fu)) ^ ((a ^ b) & 0x80808080u);
}

// The ramp the table follows, if it follows one. Checked at every call, a word at a time:
// it must cost little beside a 640x480 conversion.
std::optional<GrayRamp> grayRamp(const std::uint32_t* table)
{
    GrayRamp ramp;
    ramp.base = table[0];
    std::uint32_t step = 0;  // 0x01 in the rising bytes, 0xff in the falling ones
    for (int shift = 0; shift < 32; shift += 8) {
        const std::uint32_t byteStep = ((table[1] >> shift) - (table[0] >> shift)) & 0xff;
        if (byteStep == 1)
            ramp.rise |= 0xffu << shift;
        else if (byteStep == 0xff)
            ramp.fall |= 0xffu << shift;
        else if (byteStep != 0)
            return std::nullopt;
        step |= byteStep << shift;
    }
    std::uint32_t differ = 0;
    for (std::size_t level = 1; level < 256; ++level)
        differ |= table[level] ^ addBytes(table[level - 1], step);
    if (differ != 0)
        return std::nullopt;
    return ramp;
}

}  // namespace qyn_kernels

namespace QynConvertKernels {

using namespace qyn_kernels;

void compose(QynConstPlane red, QynConstPlane green, QynConstPlane blue, QynPlane color,
             std::ptrdiff_t width, std::ptrdiff_t height, Stores stores)
{
    joinRows(width, height, {{red.stride, 1}, {green.stride, 1}, {blue.stride, 1},
                             {color.stride, 4}});
    for (std::ptrdiff_t y = 0; y < height; ++y)
        HWY_DYNAMIC_DISPATCH(ComposeRun)(red.row(y), green.row(y), blue.row(y), color.row(y),
                                         width, stores == Stores::Streaming);
}

void decompose(QynConstPlane color, QynPlane red, QynPlane green, QynPlane blue,
               std::ptrdiff_t width, std::ptrdiff_t height, Stores stores)
{
    joinRows(width, height, {{red.stride, 1}, {green.stride, 1}, {blue.stride, 1},
                             {color.stride, 4}});
    for (std::ptrdiff_t y = 0; y < height; ++y)
        HWY_DYNAMIC_DISPATCH(DecomposeRun)(color.row(y), red.row(y), green.row(y), blue.row(y),
                                           width, stores == Stores::Streaming);
}

void colorToGray(QynConstPlane color, QynPlane gray, std::ptrdiff_t width,
                 std::ptrdiff_t height, const QynGrayWeights& weights, Stores stores)
{
    const GrayParams params = grayParams(weights);
    joinRows(width, height, {{color.stride, 4}, {gray.stride, 1}});
    for (std::ptrdiff_t y = 0; y < height; ++y)
        HWY_DYNAMIC_DISPATCH(ColorToGrayRun)(color.row(y), gray.row(y), width, params,
                                             stores == Stores::Streaming);
}

void grayToColor(QynConstPlane gray, QynPlane color, std::ptrdiff_t width,
                 std::ptrdiff_t height, const std::uint32_t* table, Stores stores)
{
    const std::optional<GrayRamp> ramp = grayRamp(table);
    joinRows(width, height, {{gray.stride, 1}, {color.stride, 4}});
    for (std::ptrdiff_t y = 0; y < height; ++y) {
        if (ramp)
            HWY_DYNAMIC_DISPATCH(GrayRampRun)(gray.row(y), color.row(y), width, table, *ramp,
                                              stores == Stores::Streaming);
        else
            HWY_DYNAMIC_DISPATCH(GrayToColorRun)(gray.row(y), color.row(y), width, table,
                                                 stores == Stores::Streaming);
    }
}

std::string targetName()
{
    return hwy::TargetName(HWY_DYNAMIC_DISPATCH(CurrentTarget)());
}

std::vector<std::string> availableTargets()
{
    std::vector<std::string> names;
    for (std::int64_t target : hwy::SupportedAndGeneratedTargets())
        names.emplace_back(hwy::TargetName(target));
    return names;
}

bool useTarget(const std::string& name)
{
    std::int64_t chosen = 0;
    if (!name.empty()) {
        hwy::SetSupportedTargetsForTest(0);  // list every target again
        for (std::int64_t target : hwy::SupportedAndGeneratedTargets())
            if (name == hwy::TargetName(target))
                chosen = target;
        if (!chosen)
            return false;
    }
    hwy::SetSupportedTargetsForTest(chosen);
    hwy::GetChosenTarget().Update(hwy::SupportedTargets());
    return true;
}

}  // namespace QynConvertKernels
#endif  // HWY_ONCE
