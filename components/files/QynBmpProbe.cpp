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
    info = QynBmpInfo{};
    // Headers, masks and palette are read from the head; the pixels are checked
    // against the whole file.
    const std::size_t have = head.size();
    const std::uint8_t* p = head.data();
    if (!looksLikeBmp(head))
        return QynFileResult::NotAnImage;
    if (have < FileHeaderSize + 4)
        return QynFileResult::Truncated;

    const std::size_t dataOffset = u32(p + 10);
    const std::uint32_t headerSize = u32(p + FileHeaderSize);
    const bool core = headerSize == 12;  // the oldest header: 16-bit sizes, 3-byte palette
    if (!(core || headerSize == 40 || headerSize == 52 || headerSize == 56 || headerSize == 64
          || headerSize == 108 || headerSize == 124))
        return QynFileResult::NotAnImage;
    if (have < FileHeaderSize + headerSize)
        return QynFileResult::Truncated;
    const std::uint8_t* h = p + FileHeaderSize;

    std::int64_t width, height;
    std::uint32_t compression = 0, colorsUsed = 0;
    if (core) {
        width = u16(h + 4);
        height = u16(h + 6);
        info.bitCount = u16(h + 10);
    } else {
        width = static_cast<std::int32_t>(u32(h + 4));
        height = static_cast<std::int32_t>(u32(h + 8));
        info.bitCount = u16(h + 14);
        compression = u32(h + 16);
        colorsUsed = u32(h + 32);
    }
    if (height < 0) {
        info.topDown = true;
        height = -height;
    }
    if (width <= 0 || height == 0)
        return QynFileResult::NotAnImage;
    if (width > QynFileResult::MaxSide || height > QynFileResult::MaxSide)
        return QynFileResult::TooLarge;
    info.width = static_cast<int>(width);
    info.height = static_cast<int>(height);

    const int bits = info.bitCount;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
        return QynFileResult::NotAnImage;

    // Compression 3 and 4 mean Huffman and RLE24 in the 64-byte OS/2 header: not supported.
    std::size_t maskBytes = 0;
    switch (compression) {
    case 0: info.encoding = QynBmpInfo::Encoding::Rgb; break;
    case 1: info.encoding = QynBmpInfo::Encoding::Rle8; break;
    case 2: info.encoding = QynBmpInfo::Encoding::Rle4; break;
    case 3:
    case 6:
        if (headerSize == 64)
            return QynFileResult::NotAnImage;
        info.encoding = QynBmpInfo::Encoding::BitFields;
        if (headerSize == 40)
            maskBytes = compression == 3 ? 12 : 16;  // the masks follow the header
        break;
    default: return QynFileResult::NotAnImage;
    }
    if ((info.encoding == QynBmpInfo::Encoding::Rle8 && bits != 8)
        || (info.encoding == QynBmpInfo::Encoding::Rle4 && bits != 4)
        || (info.encoding == QynBmpInfo::Encoding::BitFields && bits != 16 && bits != 32))
        return QynFileResult::NotAnImage;

    const std::size_t paletteStart = FileHeaderSize + headerSize + maskBytes;
    if (paletteStart > have)
        return QynFileResult::Truncated;

    if (info.encoding == QynBmpInfo::Encoding::BitFields) {
        const std::uint8_t* m = maskBytes ? p + FileHeaderSize + headerSize : h + 40;
        info.masks = {u32(m), u32(m + 4), u32(m + 8)};
    } else if (bits == 16) {
        info.masks = {0x7c00, 0x03e0, 0x001f};
    } else if (bits == 32) {
        info.masks = {0xff0000, 0xff00, 0xff};
    }
    for (std::uint32_t mask : info.masks)
        if (!validMask(mask, bits))
            return QynFileResult::NotAnImage;

    if (bits <= 8) {
        const std::uint32_t maxEntries = 1u << bits;
        const std::uint32_t entries = (core || colorsUsed == 0) ? maxEntries : colorsUsed;
        if (entries > maxEntries)
            return QynFileResult::NotAnImage;
        const std::size_t entryBytes = core ? 3 : 4;
        if (entries * entryBytes > have - paletteStart)
            return QynFileResult::Truncated;
        for (std::uint32_t i = 0; i < entries; ++i) {
            const std::uint8_t* e = p + paletteStart + i * entryBytes;
            info.palette[i] = static_cast<std::uint32_t>(e[2]) << 16
                | static_cast<std::uint32_t>(e[1]) << 8 | e[0];
        }
        info.paletteSize = static_cast<int>(entries);
    }

    if (dataOffset < FileHeaderSize + headerSize)
        return QynFileResult::NotAnImage;
    if (dataOffset >= fileSize)
        return QynFileResult::Truncated;
    info.dataOffset = dataOffset;
    info.rowBytes = (static_cast<std::size_t>(info.width) * static_cast<std::size_t>(bits) + 31) / 32 * 4;
    if (info.encoding == QynBmpInfo::Encoding::Rgb || info.encoding == QynBmpInfo::Encoding::BitFields) {
        // The last row needs its pixels, not its padding: some writers end the file without
        // it, and nothing is invented when it is missing.
        const std::size_t lastRow = (static_cast<std::size_t>(info.width) * static_cast<std::size_t>(bits) + 7) / 8;
        const std::size_t needed = info.rowBytes * static_cast<std::size_t>(info.height - 1) + lastRow;
        if (needed > fileSize - dataOffset)
            return QynFileResult::Truncated;
    }
    return QynFileResult::Success;
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
