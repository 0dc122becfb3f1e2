#pragma once

#include "QynPixelBuffer.h"
#include "QynPlane.h"

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <cstddef>
#include <memory>

// Images as NumPy arrays without copies: gray as (height, width) uint8, colour as
// (height, width, 4) uint8 in memory order B, G, R, X (the library's 0x00RRGGBB words).
// An array made from a pixel buffer views the buffer's own memory and keeps it alive
// through its base object (a capsule holding a share of the buffer) for as long as it,
// or any view of it, exists.
namespace QynPyArrays {

// The array viewing these pixels, holding a share of them.
pybind11::array arrayOf(std::shared_ptr<QynPixelBuffer> pixels);

// The pixel buffer an array views when it is one of ours and views all of it as it is,
// else null.
std::shared_ptr<QynPixelBuffer> wholeBufferOf(const pybind11::array& array);

// A source image as the conversion kernels read it. The array must be uint8 of the
// format's shape with each row's pixels side by side (rows may lie any distance apart);
// otherwise QynPyError with the change component's code and a message naming `role`.
// Never copies.
struct Source {
    pybind11::array array;  // held while the kernels read it
    QynConstPlane plane;
    std::ptrdiff_t width = 0;
    std::ptrdiff_t height = 0;
};
Source source(const pybind11::handle& object, QynPixelFormat format, const char* role);

// The format of an image array: gray for 2 dimensions, colour for (h, w, 4); the
// refusal of the source check otherwise.
QynPixelFormat formatOf(const pybind11::handle& object, const char* role);

// A new buffer of this size and format; QynPyError 1501 when memory is short.
std::shared_ptr<QynPixelBuffer> newBuffer(std::ptrdiff_t width, std::ptrdiff_t height, QynPixelFormat format);

inline QynPlane planeOf(QynPixelBuffer& pixels)
{
    return {pixels.data(), pixels.stride()};
}

}  // namespace QynPyArrays
