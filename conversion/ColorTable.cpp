#include "ColorTable.h"

namespace qyn {

std::optional<std::int32_t> RevRGB(const std::int32_t& red, const std::int32_t& green, const std::int32_t& blue)
{
    std::int32_t greenPart = 0, low = 0, redPart = 0, packed = 0;
    if (__builtin_mul_overflow(green, 256, &greenPart) || __builtin_add_overflow(greenPart, blue, &low)
        || __builtin_mul_overflow(red, 65536, &redPart) || __builtin_add_overflow(low, redPart, &packed))
        return std::nullopt;
    return packed;
}

std::optional<std::array<std::int32_t, 256>> grayToColorTable()
{
    std::array<std::int32_t, 256> table{};
    for (std::int32_t i = 0; i < 256; ++i) {
        const std::int32_t fall = 255 - i;
        const auto packed = RevRGB(fall, fall, i);
        if (!packed)
            return std::nullopt;
        table[static_cast<std::size_t>(i)] = *packed;
    }
    return table;
}

}  // namespace qyn
