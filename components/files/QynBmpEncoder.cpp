#include "QynBmpEncoder.h"

#include <QIODevice>

#include <algorithm>
#include <cstring>
#include <limits>
#include <vector>

namespace {

constexpr std::size_t HeadersSize = 14 + 40;
constexpr std::uint32_t PixelsPerMetre = 2835;  // 72 dots an inch
constexpr std::size_t ChunkBytes = std::size_t{1} << 20;

void put16(std::uint8_t* p, std::uint32_t v)
{
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

void put32(std::uint8_t* p, std::uint32_t v)
{
    put16(p, v & 0xffff);
    put16(p + 2, v >> 16);
}

void colorRow(const std::uint8_t* src, int width, std::uint8_t* dst)
{
    // Four-byte stores that the next pixel overwrites; the last pixel alone.
    for (int x = 0; x + 1 < width; ++x)
        std::memcpy(dst + 3 * x, src + 4 * x, 4);
    std::memcpy(dst + 3 * (width - 1), src + 4 * (width - 1), 3);
}

bool writeAll(QIODevice& device, const std::uint8_t* data, std::size_t size)
{
    return device.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size))
        == static_cast<qint64>(size);
}

}  // namespace

bool QynBmpEncoder::write(QIODevice& device, const QynPixelBuffer& pixels)
{
    const bool gray = pixels.format() == QynPixelFormat::Gray8;
    const int width = pixels.width();
    const int height = pixels.height();
    const std::size_t pixelBytes = gray ? 1 : 3;
    const std::size_t rowBytes = (static_cast<std::size_t>(width) * pixelBytes + 3) & ~std::size_t{3};
    const std::size_t paletteBytes = gray ? 256 * 4 : 0;
    const std::size_t dataOffset = HeadersSize + paletteBytes;
    const std::size_t imageBytes = rowBytes * static_cast<std::size_t>(height);
    if (dataOffset + imageBytes > std::numeric_limits<std::uint32_t>::max())
        return false;

    std::vector<std::uint8_t> head(dataOffset, 0);
    std::uint8_t* h = head.data();
    h[0] = 'B';
    h[1] = 'M';
    put32(h + 2, static_cast<std::uint32_t>(dataOffset + imageBytes));
    put32(h + 10, static_cast<std::uint32_t>(dataOffset));
    put32(h + 14, 40);
    put32(h + 18, static_cast<std::uint32_t>(width));
    put32(h + 22, static_cast<std::uint32_t>(height));
    put16(h + 26, 1);
    put16(h + 28, gray ? 8 : 24);
    put32(h + 34, static_cast<std::uint32_t>(imageBytes));
    put32(h + 38, PixelsPerMetre);
    put32(h + 42, PixelsPerMetre);
    if (gray) {
        put32(h + 46, 256);
        for (std::uint32_t i = 0; i < 256; ++i)
            put32(h + HeadersSize + 4 * i, i << 16 | i << 8 | i);
    }
    if (!writeAll(device, h, head.size()))
        return false;

    // Rows bottom-up, several to a write.
    const std::size_t rowsPerChunk = std::max<std::size_t>(1, ChunkBytes / rowBytes);
    std::vector<std::uint8_t> chunk(rowsPerChunk * rowBytes, 0);
    std::size_t filled = 0;
    for (int y = height - 1; y >= 0; --y) {
        std::uint8_t* dst = chunk.data() + filled * rowBytes;
        if (gray)
            std::memcpy(dst, pixels.row(y), static_cast<std::size_t>(width));
        else
            colorRow(pixels.row(y), width, dst);
        if (++filled == rowsPerChunk || y == 0) {
            if (!writeAll(device, chunk.data(), filled * rowBytes))
                return false;
            filled = 0;
        }
    }
    return true;
}
