#pragma once

#include <cstdint>
#include <span>

// Checks, for formats whose Qt readers fill a cut file's missing pixels and report
// success, that the file holds all the data its structure announces.
class QynStreamCheck {
public:
    // GIF: every block, from the header to the trailer, lies inside the file. Returns 0,
    // Truncated when the file ends first, NotAnImage for an unknown block.
    static std::int32_t gif(std::span<const std::uint8_t> bytes);
    // XBM: the data hold one byte for every 8 pixels of each row (two for every 16 in
    // the old format of shorts). Returns 0 or Truncated.
    static std::int32_t xbm(std::span<const std::uint8_t> bytes, int width, int height);
};
