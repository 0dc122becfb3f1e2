#pragma once

#include "QynConvertReference.h"
#include "QynPlane.h"

#include <cstdint>
#include <string>
#include <vector>

// The fast conversion kernels: the same bytes as QynConvertReference, computed with the
// best SIMD instruction set the CPU offers (chosen at run time, in QynConvertKernels.cc
// only). Each handles `height` rows of `width` pixels; when every plane's rows are
// contiguous the image is treated as one long row, so narrow images stay fast.
//
// Streaming stores write around the caches: use them when the destination is far larger
// than the caches, since nobody reads it back soon and cached stores would first read
// every destination line from memory.
namespace QynConvertKernels {

enum class Stores { Cached, Streaming };

void compose(QynConstPlane red, QynConstPlane green, QynConstPlane blue, QynPlane color,
             std::ptrdiff_t width, std::ptrdiff_t height, Stores stores = Stores::Cached);
void decompose(QynConstPlane color, QynPlane red, QynPlane green, QynPlane blue,
               std::ptrdiff_t width, std::ptrdiff_t height, Stores stores = Stores::Cached);
void colorToGray(QynConstPlane color, QynPlane gray, std::ptrdiff_t width,
                 std::ptrdiff_t height, const QynGrayWeights& weights,
                 Stores stores = Stores::Cached);
// `table` has 256 entries.
void grayToColor(QynConstPlane gray, QynPlane color, std::ptrdiff_t width,
                 std::ptrdiff_t height, const std::uint32_t* table,
                 Stores stores = Stores::Cached);

// Name of the instruction set the kernels use now ("AVX2", "SSE4", ...).
std::string targetName();
// The instruction sets of this build that the CPU runs, best first.
std::vector<std::string> availableTargets();
// Pins the kernels to one of availableTargets() (for tests and benchmarks); an empty
// name goes back to the automatic choice. False for an unknown name.
bool useTarget(const std::string& name);

}  // namespace QynConvertKernels
