#pragma once

#include <cstddef>
#include <cstdint>

// One image plane as the conversion kernels see it: rows `stride` bytes apart.
// Gray planes hold one byte a pixel, colour planes one 32-bit word 0x00RRGGBB
// (memory order B, G, R, X).
struct QynConstPlane {
    const std::uint8_t* data = nullptr;
    std::ptrdiff_t stride = 0;

    const std::uint8_t* row(std::ptrdiff_t y) const { return data + y * stride; }
};

struct QynPlane {
    std::uint8_t* data = nullptr;
    std::ptrdiff_t stride = 0;

    std::uint8_t* row(std::ptrdiff_t y) const { return data + y * stride; }
    operator QynConstPlane() const { return {data, stride}; }
};
