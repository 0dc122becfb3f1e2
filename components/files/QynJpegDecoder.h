#pragma once

#include "QynPixelBuffer.h"

#include <cstdint>
#include <memory>
#include <span>

// Decodes a JPEG held in memory with libjpeg, row by row straight into the slot's buffer:
// gray files give Gray8, all others Color32. libjpeg pads a scan whose data run out with
// gray and only warns; here that warning ends the load as truncated.
class QynJpegDecoder {
public:
    static bool looksLikeJpeg(std::span<const std::uint8_t> bytes);
    // The sides the frame header in the first bytes of a JPEG gives; false when the
    // head ends before it.
    static bool headerSize(std::span<const std::uint8_t> head, std::uint32_t& width, std::uint32_t& height);
    // Returns 0 and fills out, or a QynFileAccess code: Truncated when the data end (or
    // hit a marker) before the last row or the end marker, TooLarge for a side over
    // QynFileAccess::MaxSide, NotAnImage for a cut header or anything corrupt.
    // Throws std::bad_alloc.
    static std::int32_t decode(std::span<const std::uint8_t> bytes, std::shared_ptr<QynPixelBuffer>& out);
};
