#pragma once

#include <cstddef>
#include <cstdint>

// The vector part of the display's box reduction, computed with the best SIMD
// instruction set the CPU offers (chosen at run time, in QynDisplayKernels.cc only;
// QynConvertKernels::useTarget pins it as it pins the conversion kernels).
namespace QynDisplayKernels {

// Most rows sumRows adds: 257 x 255 still fits a 16-bit sum.
inline constexpr int MaxSummedRows = 65535 / 255;

// sums[i] = the sum of byte i over `rows` rows (1 to MaxSummedRows) that start at
// `first` and lie `stride` bytes apart, for i in [0, bytes). Reads each byte once. (Asking
// the caches for the next rows ahead made it slower here: the hardware's own prefetch
// follows the rows.)
void sumRows(const std::uint8_t* first, std::ptrdiff_t stride, int rows, std::ptrdiff_t bytes,
             std::uint16_t* sums);

// Widest box whose sum of sumRows values fits 16 bits: 16 x 16 x 255.
inline constexpr int MaxBoxSumFactor = 16;

// sums[i] = the sum over j in [0, factor) of values[i + j * step], for i in [0, count):
// the box sums of a row of column sums, at every position (the caller picks the box
// starts); values holds count + (factor - 1) x step of them. factor is at most
// MaxBoxSumFactor when the values came from as many rows.
void boxSums(const std::uint16_t* values, int step, int factor, std::ptrdiff_t count,
             std::uint16_t* sums);

// out[i] = the rounded quotient sums[i] / count for i in [0, n), count at most 256 (a box
// of up to 16 x 16 pixels) and every sum at most 255 x count; with `opaque`, every fourth
// byte (the X byte of a colour pixel) is 0xff instead.
void divideSums(const std::uint16_t* sums, std::uint32_t count, std::ptrdiff_t n, bool opaque,
                std::uint8_t* out);

// Weights of weighRows are in 256ths and add up to 256.
inline constexpr int WeightOne = 256;

// out[i] = the sum over t in [0, count) of weights[t] x byte i of row t, in 256ths
// and rounded, for i in [0, bytes), the rows starting at `first` and lying `stride`
// bytes apart: the vertical half of a resampling.
void weighRows(const std::uint8_t* first, std::ptrdiff_t stride, const std::uint16_t* weights,
               int count, std::ptrdiff_t bytes, std::uint8_t* out);

// The horizontal half: value i of the output is the sum over t in [0, taps) of
// tapped[t * count + i] x weights[t * count + i], in 256ths and rounded, for i in
// [0, count). Stored as bytes, or with `grayToRgb32` as opaque 32-bit words of that gray.
void weighColumns(const std::uint8_t* tapped, const std::uint16_t* weights, int taps,
                  std::ptrdiff_t count, bool grayToRgb32, std::uint8_t* out);

// Nearest-neighbour sampling of one row into opaque 32-bit words, a group of
// SampledGroup output pixels at a time: group g reads the 16 source bytes from
// source + starts[g] and picks each output byte by shuffles[16 g + i] (an index into
// those 16 bytes, or 0x80 for 0), then sets the X byte. The caller makes starts and
// shuffles once for all rows of a view; every group must read inside the row.
inline constexpr int SampledGroup = 4;
void sampleRow(const std::uint8_t* source, const std::int32_t* starts, const std::uint8_t* shuffles,
               std::ptrdiff_t groups, std::uint32_t* out);

}  // namespace QynDisplayKernels
