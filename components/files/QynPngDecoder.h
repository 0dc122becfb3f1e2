#pragma once

#include "QynPixelBuffer.h"

#include <cstdint>
#include <memory>
#include <span>

// Decodes a PNG held in memory with libpng, row by row straight into the slot's buffer.
// Samples load as the file holds them: a transparency key or an alpha channel is never
// applied, only dropped. Gray colour types (with or without alpha) and palettes that are
// all gray give Gray8, everything else Color32; 16-bit samples are rounded to 8 bits.
class QynPngDecoder {
public:
    static bool looksLikePng(std::span<const std::uint8_t> bytes);
    // The sides the header at the start of a PNG gives; false when it is cut.
    static bool headerSize(std::span<const std::uint8_t> head, std::uint32_t& width, std::uint32_t& height);
    // Returns 0 and fills out, or a QynFileAccess code: Truncated when the file ends in
    // the pixel data, TooLarge for a side over QynFileAccess::MaxSide, NotAnImage for a
    // cut header or anything corrupt. Throws std::bad_alloc.
    static std::int32_t decode(std::span<const std::uint8_t> bytes, std::shared_ptr<QynPixelBuffer>& out);
};
