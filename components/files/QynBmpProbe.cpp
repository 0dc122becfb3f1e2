#include "QynBmpProbe.h"

#include "QynFileResult.h"

#include <bit>

namespace {

constexpr std::size_t FileHeaderSize = 14;

std::uint16_t u16(const std::uint8_t* p)
{
    return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}

std::uint32_t u32(const std::uint8_t* p)
{
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8
        | static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

// A channel mask must be one run of set bits (or empty) inside the pixel.
bool validMask(std::uint32_t mask, int bitCount)
{
    if (mask == 0)
        return true;
    if (bitCount < 32 && (mask >> bitCount) != 0)
        return false;
    const std::uint32_t shifted = mask >> std::countr_zero(mask);
    return (shifted & (shifted + 1)) == 0;
}

// The fields of the file header and the info header the checks read.
struct Headers {
    std::size_t dataOffset = 0;
    std::uint32_t size = 0;      // of the info header
    bool core = false;           // the oldest header: 16-bit sizes, 3-byte palette
    const std::uint8_t* info = nullptr;
    std::int64_t width = 0;
    std::int64_t height = 0;     // negative: rows stored top-down
    int bitCount = 0;
    std::uint32_t compression = 0;
    std::uint32_t colorsUsed = 0;
};

std::int32_t readHeaders(std::span<const std::uint8_t> head, Headers& headers)
{
    if (!QynBmpProbe::looksLikeBmp(head))
        return QynFileResult::NotAnImage;
    if (head.size() < FileHeaderSize + 4)
        return QynFileResult::Truncated;
    const std::uint8_t* p = head.data();
    headers.dataOffset = u32(p + 10);
    headers.size = u32(p + FileHeaderSize);
    const std::uint32_t size = headers.size;
    headers.core = size == 12;
    if (!(headers.core || size == 40 || size == 52 || size == 56 || size == 64 || size == 108 || size == 124))
        return QynFileResult::NotAnImage;
    if (head.size() < FileHeaderSize + size)
        return QynFileResult::Truncated;
    const std::uint8_t* h = p + FileHeaderSize;
    headers.info = h;
    if (headers.core) {
        headers.width = u16(h + 4);
        headers.height = u16(h + 6);
        headers.bitCount = u16(h + 10);
    } else {
        headers.width = static_cast<std::int32_t>(u32(h + 4));
        headers.height = static_cast<std::int32_t>(u32(h + 8));
        headers.bitCount = u16(h + 14);
        headers.compression = u32(h + 16);
        headers.colorsUsed = u32(h + 32);
    }
    return QynFileResult::Success;
}

std::int32_t readSize(const Headers& headers, QynBmpInfo& info)
{
    info.bitCount = headers.bitCount;
    info.topDown = headers.height < 0;
    const std::int64_t height = info.topDown ? -headers.height : headers.height;
    if (headers.width <= 0 || height == 0)
        return QynFileResult::NotAnImage;
    if (headers.width > QynFileResult::MaxSide || height > QynFileResult::MaxSide)
        return QynFileResult::TooLarge;
    info.width = static_cast<int>(headers.width);
    info.height = static_cast<int>(height);
    const int bits = info.bitCount;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
        return QynFileResult::NotAnImage;
    return QynFileResult::Success;
}

// The encoding, and how many bytes of masks follow a 40-byte header.
std::int32_t readEncoding(const Headers& headers, QynBmpInfo& info, std::size_t& maskBytes)
{
    // Compression 3 and 4 mean Huffman and RLE24 in the 64-byte OS/2 header: not supported.
    switch (headers.compression) {
    case 0: info.encoding = QynBmpInfo::Encoding::Rgb; break;
    case 1: info.encoding = QynBmpInfo::Encoding::Rle8; break;
    case 2: info.encoding = QynBmpInfo::Encoding::Rle4; break;
    case 3:
    case 6:
        if (headers.size == 64)
            return QynFileResult::NotAnImage;
        info.encoding = QynBmpInfo::Encoding::BitFields;
        if (headers.size == 40)
            maskBytes = headers.compression == 3 ? 12 : 16;
        break;
    default: return QynFileResult::NotAnImage;
    }
    const int bits = info.bitCount;
    if ((info.encoding == QynBmpInfo::Encoding::Rle8 && bits != 8)
        || (info.encoding == QynBmpInfo::Encoding::Rle4 && bits != 4)
        || (info.encoding == QynBmpInfo::Encoding::BitFields && bits != 16 && bits != 32))
        return QynFileResult::NotAnImage;
    return QynFileResult::Success;
}

// The channel masks: from the file for bit fields, the defaults for 16 and 32 bits.
std::int32_t readMasks(std::span<const std::uint8_t> head, const Headers& headers, std::size_t maskBytes,
                       QynBmpInfo& info)
{
    const int bits = info.bitCount;
    if (info.encoding == QynBmpInfo::Encoding::BitFields) {
        const std::uint8_t* m = maskBytes ? head.data() + FileHeaderSize + headers.size : headers.info + 40;
        info.masks = {u32(m), u32(m + 4), u32(m + 8)};
    } else if (bits == 16) {
        info.masks = {0x7c00, 0x03e0, 0x001f};
    } else if (bits == 32) {
        info.masks = {0xff0000, 0xff00, 0xff};
    }
    for (std::uint32_t mask : info.masks)
        if (!validMask(mask, bits))
            return QynFileResult::NotAnImage;
    return QynFileResult::Success;
}

std::int32_t readPalette(std::span<const std::uint8_t> head, const Headers& headers, std::size_t paletteStart,
                         QynBmpInfo& info)
{
    const int bits = info.bitCount;
    if (bits > 8)
        return QynFileResult::Success;
    const std::uint32_t maxEntries = 1u << bits;
    const std::uint32_t entries = (headers.core || headers.colorsUsed == 0) ? maxEntries : headers.colorsUsed;
    if (entries > maxEntries)
        return QynFileResult::NotAnImage;
    const std::size_t entryBytes = headers.core ? 3 : 4;
    if (entries * entryBytes > head.size() - paletteStart)
        return QynFileResult::Truncated;
    for (std::uint32_t i = 0; i < entries; ++i) {
        const std::uint8_t* e = head.data() + paletteStart + i * entryBytes;
        info.palette[i] = static_cast<std::uint32_t>(e[2]) << 16 | static_cast<std::uint32_t>(e[1]) << 8 | e[0];
    }
    info.paletteSize = static_cast<int>(entries);
    return QynFileResult::Success;
}

// Where the pixels start, and for uncompressed rows that the file holds them all.
std::int32_t checkPixelData(const Headers& headers, std::uint64_t fileSize, QynBmpInfo& info)
{
    if (headers.dataOffset < FileHeaderSize + headers.size)
        return QynFileResult::NotAnImage;
    if (headers.dataOffset >= fileSize)
        return QynFileResult::Truncated;
    info.dataOffset = headers.dataOffset;
    const auto width = static_cast<std::size_t>(info.width);
    const auto bits = static_cast<std::size_t>(info.bitCount);
    info.rowBytes = (width * bits + 31) / 32 * 4;
    if (info.encoding == QynBmpInfo::Encoding::Rgb || info.encoding == QynBmpInfo::Encoding::BitFields) {
        // The last row needs its pixels, not its padding: some writers end the file without
        // it, and nothing is invented when it is missing.
        const std::size_t lastRow = (width * bits + 7) / 8;
        const std::size_t needed = info.rowBytes * static_cast<std::size_t>(info.height - 1) + lastRow;
        if (needed > fileSize - headers.dataOffset)
            return QynFileResult::Truncated;
    }
    return QynFileResult::Success;
}

}  // namespace

bool QynBmpInfo::isGray() const
{
    if (bitCount != 8 || (encoding != Encoding::Rgb && encoding != Encoding::Rle8))
        return false;
    for (int i = 0; i < paletteSize; ++i) {
        const std::uint32_t c = palette[static_cast<std::size_t>(i)];
        const std::uint32_t b = c & 0xff;
        if (((c >> 8) & 0xff) != b || ((c >> 16) & 0xff) != b)
            return false;
    }
    return true;
}

bool QynBmpProbe::looksLikeBmp(std::span<const std::uint8_t> file)
{
    return file.size() >= 2 && file[0] == 'B' && file[1] == 'M';
}

std::int32_t QynBmpProbe::probe(std::span<const std::uint8_t> file, QynBmpInfo& info)
{
    return probe(file, file.size(), info);
}

std::int32_t QynBmpProbe::probe(std::span<const std::uint8_t> head, std::uint64_t fileSize, QynBmpInfo& info)
{
    // Headers, masks and palette are read from the head; the pixels are checked against
    // the whole file. The checks run in this order, the first failure decides the result.
    info = QynBmpInfo{};
    Headers headers;
    std::size_t maskBytes = 0;
    if (const std::int32_t result = readHeaders(head, headers); result != QynFileResult::Success)
        return result;
    if (const std::int32_t result = readSize(headers, info); result != QynFileResult::Success)
        return result;
    if (const std::int32_t result = readEncoding(headers, info, maskBytes); result != QynFileResult::Success)
        return result;
    const std::size_t paletteStart = FileHeaderSize + headers.size + maskBytes;
    if (paletteStart > head.size())
        return QynFileResult::Truncated;
    if (const std::int32_t result = readMasks(head, headers, maskBytes, info); result != QynFileResult::Success)
        return result;
    if (const std::int32_t result = readPalette(head, headers, paletteStart, info); result != QynFileResult::Success)
        return result;
    return checkPixelData(headers, fileSize, info);
}

std::uint64_t QynBmpProbe::largestFile(std::span<const std::uint8_t> head)
{
    if (!looksLikeBmp(head) || head.size() < FileHeaderSize + 16)
        return 0;
    const std::uint8_t* p = head.data() + FileHeaderSize;
    const std::uint32_t headerSize = u32(p);
    std::int64_t width = 0, height = 0;
    std::uint32_t bits = 0, compression = 0;
    if (headerSize == 12) {
        width = u16(p + 4);
        height = u16(p + 6);
        bits = u16(p + 10);
    } else if (head.size() >= FileHeaderSize + 20) {
        width = static_cast<std::int32_t>(u32(p + 4));
        height = static_cast<std::int32_t>(u32(p + 8));
        bits = u16(p + 14);
        compression = u32(p + 16);
    }
    height = height < 0 ? -height : height;
    if (width <= 0 || height <= 0 || width > QynFileResult::MaxSide || height > QynFileResult::MaxSide
        || bits == 0 || bits > 32)
        return 0;
    const auto w = static_cast<std::uint64_t>(width);
    const auto h = static_cast<std::uint64_t>(height);
    // A header, masks and a full palette; then the pixels: RLE at worst two bytes a
    // pixel and four a row (padding runs past the width included), else whole rows.
    const std::uint64_t headers = FileHeaderSize + 124 + 16 + 256 * 4;
    const std::uint64_t pixels = compression == 1 || compression == 2 ? (2 * (w + 4) + 4) * h
                                                                      : (w * bits + 31) / 32 * 4 * h;
    return headers + pixels;
}
