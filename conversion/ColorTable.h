#pragma once

#include <array>
#include <cstdint>
#include <optional>

namespace qyn {

// One colour as the colour table holds it: green * 256 + blue, then red * 65536 added,
// each step in signed 32-bit arithmetic; nothing when a step overflows.
std::optional<std::int32_t> RevRGB(const std::int32_t& red, const std::int32_t& green, const std::int32_t& blue);

// The colour table of gray to colour, packed by RevRGB: gray level i becomes
// (255 - i, 255 - i, i), dark blue to yellow.
std::optional<std::array<std::int32_t, 256>> grayToColorTable();

}  // namespace qyn
