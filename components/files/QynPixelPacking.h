#pragma once

#include <cstddef>
#include <cstdint>

// Colour pixels between a slot's four-byte words (B, G, R, 0) and the three-byte B, G, R
// triples of 24-bit image files, with the best SIMD instruction set the CPU offers
// (chosen at run time, in QynPixelPacking.cc only; pinned with the conversion kernels'
// useTarget). `bgr` holds 3 * pixels bytes, `bgrx` 4 * pixels; neither call reads or
// writes a byte past those.
namespace QynPixelPacking {

// X becomes 0.
void unpackBgr(const std::uint8_t* bgr, std::uint8_t* bgrx, std::ptrdiff_t pixels);
// X is dropped.
void packBgr(const std::uint8_t* bgrx, std::uint8_t* bgr, std::ptrdiff_t pixels);

}  // namespace QynPixelPacking
