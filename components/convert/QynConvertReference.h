#pragma once

#include "QynPlane.h"

#include <cmath>
#include <cstdint>

// Weights of the colour to gray conversion.
struct QynGrayWeights {
    double red = 0.299;
    double green = 0.587;
    double blue = 0.144;
};

// The gray level of one colour, the rule every conversion path reproduces bit for bit:
// v = (red * R + green * G) + blue * B in IEEE double, each product and sum rounded on
// its own (no fused multiply-add: the library builds with -ffp-contract=off), then v
// rounded to the nearest integer with exact halves to even (std::nearbyint in the
// default rounding mode) and clamped to 0..255. A NaN v, possible only when finite
// weights overflow to opposite infinities, gives 0.
inline std::uint8_t qynGrayOf(const QynGrayWeights& w, unsigned r, unsigned g, unsigned b)
{
    const double v = (w.red * r + w.green * g) + w.blue * b;
    if (!(v > 0.0))
        return 0;  // negative or NaN
    if (v >= 255.0)
        return 255;
    return static_cast<std::uint8_t>(std::nearbyint(v));
}

// Plain scalar versions of the conversions: the definition of what each conversion
// gives, against which the fast kernels are tested. Each handles `height` rows of
// `width` pixels.
namespace QynConvertReference {

// Colour pixel = red << 16 | green << 8 | blue; the X byte is 0.
void compose(QynConstPlane red, QynConstPlane green, QynConstPlane blue, QynPlane color,
             std::ptrdiff_t width, std::ptrdiff_t height);
// The inverse of compose; the X byte is ignored.
void decompose(QynConstPlane color, QynPlane red, QynPlane green, QynPlane blue,
               std::ptrdiff_t width, std::ptrdiff_t height);
void colorToGray(QynConstPlane color, QynPlane gray, std::ptrdiff_t width,
                 std::ptrdiff_t height, const QynGrayWeights& weights);
// Colour pixel = table[gray], the whole 32-bit entry as given; `table` has 256 entries.
void grayToColor(QynConstPlane gray, QynPlane color, std::ptrdiff_t width,
                 std::ptrdiff_t height, const std::uint32_t* table);

}  // namespace QynConvertReference
