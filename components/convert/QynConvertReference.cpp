#include "QynConvertReference.h"

#include <cstring>

namespace {

std::uint32_t loadWord(const std::uint8_t* p)
{
    std::uint32_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

void storeWord(std::uint8_t* p, std::uint32_t v)
{
    std::memcpy(p, &v, sizeof v);
}

}  // namespace

namespace QynConvertReference {

void compose(QynConstPlane red, QynConstPlane green, QynConstPlane blue, QynPlane color,
             std::ptrdiff_t width, std::ptrdiff_t height)
{
    for (std::ptrdiff_t y = 0; y < height; ++y) {
        const std::uint8_t* r = red.row(y);
        const std::uint8_t* g = green.row(y);
        const std::uint8_t* b = blue.row(y);
        std::uint8_t* out = color.row(y);
        for (std::ptrdiff_t x = 0; x < width; ++x)
            storeWord(out + 4 * x, std::uint32_t{r[x]} << 16 | std::uint32_t{g[x]} << 8 | b[x]);
    }
}

void decompose(QynConstPlane color, QynPlane red, QynPlane green, QynPlane blue,
               std::ptrdiff_t width, std::ptrdiff_t height)
{
    for (std::ptrdiff_t y = 0; y < height; ++y) {
        const std::uint8_t* in = color.row(y);
        std::uint8_t* r = red.row(y);
        std::uint8_t* g = green.row(y);
        std::uint8_t* b = blue.row(y);
        for (std::ptrdiff_t x = 0; x < width; ++x) {
            const std::uint32_t v = loadWord(in + 4 * x);
            r[x] = static_cast<std::uint8_t>(v >> 16);
            g[x] = static_cast<std::uint8_t>(v >> 8);
            b[x] = static_cast<std::uint8_t>(v);
        }
    }
}

void colorToGray(QynConstPlane color, QynPlane gray, std::ptrdiff_t width,
                 std::ptrdiff_t height, const QynGrayWeights& weights)
{
    for (std::ptrdiff_t y = 0; y < height; ++y) {
        const std::uint8_t* in = color.row(y);
        std::uint8_t* out = gray.row(y);
        for (std::ptrdiff_t x = 0; x < width; ++x) {
            const std::uint32_t v = loadWord(in + 4 * x);
            out[x] = qynGrayOf(weights, v >> 16 & 0xff, v >> 8 & 0xff, v & 0xff);
        }
    }
}

void grayToColor(QynConstPlane gray, QynPlane color, std::ptrdiff_t width,
                 std::ptrdiff_t height, const std::uint32_t* table)
{
    for (std::ptrdiff_t y = 0; y < height; ++y) {
        const std::uint8_t* in = gray.row(y);
        std::uint8_t* out = color.row(y);
        for (std::ptrdiff_t x = 0; x < width; ++x)
            storeWord(out + 4 * x, table[in[x]]);
    }
}

}  // namespace QynConvertReference
