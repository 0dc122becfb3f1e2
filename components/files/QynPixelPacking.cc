// Packing and unpacking of colour rows, compiled once for every SIMD target by
// Highway's foreach_target and dispatched at run time at the end of this file.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "QynPixelPacking.cc"
#include <hwy/foreach_target.h>  // IWYU pragma: keep

#include <hwy/highway.h>

#include "QynPixelPacking.h"

HWY_BEFORE_NAMESPACE();
namespace qyn_packing {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

void UnpackBgrRun(const std::uint8_t* HWY_RESTRICT in, std::uint8_t* HWY_RESTRICT out, std::ptrdiff_t n)
{
    const hn::ScalableTag<std::uint8_t> d;
    const auto lanes = static_cast<std::ptrdiff_t>(hn::Lanes(d));
    const auto zero = hn::Zero(d);
    std::ptrdiff_t x = 0;
    for (; x + lanes <= n; x += lanes) {
        hn::VFromD<decltype(d)> b, g, r;
        hn::LoadInterleaved3(d, in + 3 * x, b, g, r);
        hn::StoreInterleaved4(b, g, r, zero, d, out + 4 * x);
    }
    for (; x < n; ++x) {
        out[4 * x] = in[3 * x];
        out[4 * x + 1] = in[3 * x + 1];
        out[4 * x + 2] = in[3 * x + 2];
        out[4 * x + 3] = 0;
    }
}

void PackBgrRun(const std::uint8_t* HWY_RESTRICT in, std::uint8_t* HWY_RESTRICT out, std::ptrdiff_t n)
{
    const hn::ScalableTag<std::uint8_t> d;
    const auto lanes = static_cast<std::ptrdiff_t>(hn::Lanes(d));
    std::ptrdiff_t x = 0;
    for (; x + lanes <= n; x += lanes) {
        hn::VFromD<decltype(d)> b, g, r, unused;
        hn::LoadInterleaved4(d, in + 4 * x, b, g, r, unused);
        hn::StoreInterleaved3(b, g, r, d, out + 3 * x);
    }
    for (; x < n; ++x) {
        out[3 * x] = in[4 * x];
        out[3 * x + 1] = in[4 * x + 1];
        out[3 * x + 2] = in[4 * x + 2];
    }
}

}  // namespace HWY_NAMESPACE
}  // namespace qyn_packing
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace qyn_packing {
HWY_EXPORT(UnpackBgrRun);
HWY_EXPORT(PackBgrRun);
}  // namespace qyn_packing

namespace QynPixelPacking {

void unpackBgr(const std::uint8_t* bgr, std::uint8_t* bgrx, std::ptrdiff_t pixels)
{
    HWY_DYNAMIC_DISPATCH(qyn_packing::UnpackBgrRun)(bgr, bgrx, pixels);
}

void packBgr(const std::uint8_t* bgrx, std::uint8_t* bgr, std::ptrdiff_t pixels)
{
    HWY_DYNAMIC_DISPATCH(qyn_packing::PackBgrRun)(bgrx, bgr, pixels);
}

}  // namespace QynPixelPacking
#endif  // HWY_ONCE
