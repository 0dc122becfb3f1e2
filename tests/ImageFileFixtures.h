#pragma once

#include "QynImage.h"
#include "SlotFill.h"

#include <QImage>
#include <QString>
#include <QStringList>

#include <array>

#include <cstdint>
#include <functional>
#include <vector>

// Helpers of the image file tests. Builds BMP files byte by byte, so the tests can make every variant the loader meets,
// broken ones included, without relying on the code under test.
namespace fixture {

using Bytes = std::vector<std::uint8_t>;

struct Header {
    Header(int w, int h, int b) : width(w), height(h), bits(b) {}
    Header& withCompression(std::uint32_t v) { compression = v; return *this; }
    Header& withHeaderSize(std::uint32_t v) { headerSize = v; return *this; }
    Header& withPalette(std::vector<std::uint32_t> v) { palette = std::move(v); return *this; }
    Header& withColorsUsed(std::uint32_t v) { colorsUsed = v; return *this; }
    Header& withMasks(std::vector<std::uint32_t> v) { masks = std::move(v); return *this; }
    Header& withDataOffset(std::int64_t v) { dataOffset = v; return *this; }

    int width;
    int height;  // negative: rows stored top-down
    int bits;
    std::uint32_t compression = 0;
    std::uint32_t headerSize = 40;       // 12 writes the oldest header, 3-byte palette entries
    std::vector<std::uint32_t> palette;  // 0x00RRGGBB
    std::uint32_t colorsUsed = 0;        // written as is; 0 means the whole palette
    std::vector<std::uint32_t> masks;    // after a 40-byte header, or inside a larger one
    std::int64_t dataOffset = -1;        // -1: right after the palette
};

// A whole file: headers, masks, palette, then the pixel data as given.
Bytes file(const Header& header, const Bytes& pixelData);
// Uncompressed rows, padded to four bytes, bottom row first unless height < 0.
// value(x, y) is the stored value of the pixel at column x of image row y (row 0 on top):
// a palette index, 0xRRGGBB for 24 and 32 bits, the raw word for 16 bits.
Bytes rows(int width, int height, int bits, const std::function<std::uint32_t(int, int)>& value);
// The 256-entry gray ramp, and a palette of distinct colours.
std::vector<std::uint32_t> grayRamp();
std::vector<std::uint32_t> colorPalette(int entries);

// A PNG written by libpng: samples[y * width * channels + x * channels + c] at the file's
// bit depth, colour type as in the PNG header, an optional transparency key (one value
// a channel), Adam7 interlacing on request.
struct Png {
    int width = 0;
    int height = 0;
    int depth = 8;
    int colorType = 0;  // 0 gray, 2 RGB, 3 palette, 4 gray + alpha, 6 RGBA
    bool interlaced = false;
    std::vector<std::uint16_t> samples;
    std::vector<std::uint16_t> key;       // tRNS for gray or RGB
    std::vector<std::uint32_t> palette;   // 0x00RRGGBB, colour type 3
};
Bytes png(const Png& layout);
// A JPEG written by libjpeg (quality 90) of a pattern, gray or colour, progressive or
// arithmetic-coded on request.
struct Jpeg {
    int width = 0;
    int height = 0;
    bool gray = false;
    bool progressive = false;
    bool arithmetic = false;
};
Bytes jpeg(const Jpeg& layout);
// A GIF of 8-bit indices with a 256-entry palette (0x00RRGGBB), LZW with a clear code
// often enough that every code stays 9 bits.
Bytes gif(int width, int height, const std::vector<std::uint8_t>& indices, const std::vector<std::uint32_t>& palette);
// The bytes Qt writes for an image in a format ("PNG", "JPEG", "TIFF", "XBM", ...).
Bytes encoded(const QImage& image, const char* format);
// A copy of bytes cut to size.
Bytes cut(const Bytes& bytes, std::size_t size);

void writeFile(const QString& path, const Bytes& bytes);
Bytes readFile(const QString& path);
// Removes a folder and everything in it, names that are not UTF-8 and read-only folders
// included (QTemporaryDir leaves those), as root or not.
void removeTree(const QString& folder);
// Names in a folder, to see that nothing (a temporary file) was left behind.
QStringList entries(const QString& folder);

// Everything a slot shows: its four properties, whether it is filled, and its pixels.
struct SlotState {
    std::array<std::int32_t, 4> properties{};
    bool filled = false;
    Bytes pixels;
    bool operator==(const SlotState&) const = default;
};
SlotState state(const QynImage& slot);

}  // namespace fixture
