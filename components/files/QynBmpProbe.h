#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

// What a BMP header says about the pixels, after every size has been checked
// against the file that carries it.
struct QynBmpInfo {
    enum class Encoding { Rgb, Rle8, Rle4, BitFields };

    int width = 0;
    int height = 0;  // always positive; topDown tells the row order
    bool topDown = false;
    int bitCount = 0;  // 1, 4, 8, 16, 24 or 32
    Encoding encoding = Encoding::Rgb;
    std::array<std::uint32_t, 3> masks{};         // red, green, blue (16 and 32 bits a pixel)
    std::array<std::uint32_t, 256> palette{};     // 0x00RRGGBB; entries past the file's are black
    int paletteSize = 0;                          // entries the file holds
    std::size_t dataOffset = 0;                   // first byte of the pixel data
    std::size_t rowBytes = 0;                     // one stored row with its padding (uncompressed)

    // 8-bit pixels whose palette is all gray: the file loads as a gray image.
    bool isGray() const;
};

// Reads and checks the header of a BMP file held in memory.
class QynBmpProbe {
public:
    // True when the bytes begin like a BMP file.
    static bool looksLikeBmp(std::span<const std::uint8_t> file);
    // Fills info and returns 0, or returns a QynFileAccess code: Truncated when a header,
    // the palette or the uncompressed pixels reach past the end of the file, TooLarge for
    // a side over QynFileAccess::MaxSide, NotAnImage for anything malformed or unsupported.
    static std::int32_t probe(std::span<const std::uint8_t> file, QynBmpInfo& info);
    // The same for a file of fileSize bytes of which head holds the first ones: enough
    // for the headers and palette when it holds the first 64 KiB (or the whole file).
    static std::int32_t probe(std::span<const std::uint8_t> head, std::uint64_t fileSize, QynBmpInfo& info);
    // The largest file the header at the start of a BMP can describe: headers, palette,
    // and the pixels uncompressed or as RLE's longest coding. 0 when the header is cut
    // or names no size.
    static std::uint64_t largestFile(std::span<const std::uint8_t> head);
};
