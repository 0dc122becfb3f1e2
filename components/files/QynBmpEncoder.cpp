#include "QynBmpEncoder.h"

#include "QynPixelPacking.h"

#include <QIODevice>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <limits>
#include <memory>
#include <semaphore>
#include <thread>
#include <vector>

namespace {

constexpr std::size_t HeadersSize = 14 + 40;
constexpr std::uint32_t PixelsPerMetre = 2835;  // 72 dots an inch
constexpr std::size_t ChunkBytes = std::size_t{1} << 20;
// Colour images at least this large are packed on a second thread while written.
constexpr std::size_t OverlapBytes = std::size_t{32} << 20;

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

bool writeAll(QIODevice& device, const std::uint8_t* data, std::size_t size)
{
    return device.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size))
        == static_cast<qint64>(size);
}

// The image's rows in file order (bottom-up), a chunk of perChunk rows at a time.
struct Rows {
    const QynPixelBuffer& pixels;
    std::size_t rowBytes;  // with the padding to four bytes
    int perChunk;

    int chunks() const { return (pixels.height() + perChunk - 1) / perChunk; }

    // Writes the rows of chunk into out and returns their bytes. Only the row padding
    // needs clearing; the pixels overwrite the rest.
    std::size_t fill(int chunk, std::uint8_t* out) const
    {
        const bool gray = pixels.format() == QynPixelFormat::Gray8;
        const int width = pixels.width();
        const std::size_t pixelRowBytes = static_cast<std::size_t>(width) * (gray ? 1 : 3);
        const int first = chunk * perChunk;
        const int count = std::min(perChunk, pixels.height() - first);
        for (int i = 0; i < count; ++i) {
            const int y = pixels.height() - 1 - (first + i);
            std::uint8_t* dst = out + static_cast<std::size_t>(i) * rowBytes;
            if (gray)
                std::memcpy(dst, pixels.row(y), pixelRowBytes);
            else
                QynPixelPacking::packBgr(pixels.row(y), dst, width);
            std::memset(dst + pixelRowBytes, 0, rowBytes - pixelRowBytes);
        }
        return static_cast<std::size_t>(count) * rowBytes;
    }
};

// A large colour image: a second thread packs the next chunk while this one writes the
// last, so the save takes about the time of the writes alone, not of both.
bool writeOverlapped(QIODevice& device, const Rows& rows)
{
    const std::size_t chunkBytes = static_cast<std::size_t>(rows.perChunk) * rows.rowBytes;
    const std::unique_ptr<std::uint8_t[]> buffers[2] = {std::unique_ptr<std::uint8_t[]>(new std::uint8_t[chunkBytes]),
                                                        std::unique_ptr<std::uint8_t[]>(new std::uint8_t[chunkBytes])};
    std::size_t filled[2] = {0, 0};
    std::counting_semaphore<2> empty(2);
    std::counting_semaphore<2> full(0);
    std::atomic<bool> stop = false;
    std::thread packer([&] {
        for (int chunk = 0; chunk < rows.chunks(); ++chunk) {
            empty.acquire();
            if (stop)
                return;
            filled[chunk % 2] = rows.fill(chunk, buffers[chunk % 2].get());
            full.release();
        }
    });
    bool written = true;
    for (int chunk = 0; chunk < rows.chunks() && written; ++chunk) {
        full.acquire();
        written = writeAll(device, buffers[chunk % 2].get(), filled[chunk % 2]);
        if (!written)
            stop = true;  // seen by the packer at its next chunk
        empty.release();
    }
    packer.join();
    return written;
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
    const Rows rows{pixels, rowBytes, static_cast<int>(std::max<std::size_t>(1, ChunkBytes / rowBytes))};
    if (!gray && imageBytes >= OverlapBytes && std::thread::hardware_concurrency() > 1)
        return writeOverlapped(device, rows);
    // Through a buffer each thread keeps: a batch saving file after file would otherwise
    // map and clear a new one for each.
    thread_local std::unique_ptr<std::uint8_t[]> buffer;
    thread_local std::size_t bufferBytes = 0;
    const std::size_t chunkBytes = static_cast<std::size_t>(rows.perChunk) * rowBytes;
    if (bufferBytes < chunkBytes) {
        buffer.reset();  // the old one first: never both at once
        bufferBytes = 0;
        buffer.reset(new std::uint8_t[chunkBytes]);
        bufferBytes = chunkBytes;
    }
    for (int chunk = 0; chunk < rows.chunks(); ++chunk)
        if (!writeAll(device, buffer.get(), rows.fill(chunk, buffer.get())))
            return false;
    return true;
}
