#pragma once

#include "QynPixelBuffer.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <span>

// Decodes a JPEG held in memory with libjpeg, row by row straight into the slot's buffer:
// gray files give Gray8, all others Color32. libjpeg pads a scan whose data run out with
// gray and only warns; here that warning ends the load as truncated. A progressive or
// multi-scan file is read whole first (buffered-image mode): at most 100 scans, 256 MiB
// of coefficients beside the slot, and its scans must cover every coefficient of every
// component. Arithmetic-coded files are refused: their data may end anywhere unseen.
class QynJpegDecoder {
public:
    static bool looksLikeJpeg(std::span<const std::uint8_t> bytes);
    // The sides the frame header in the first bytes of a JPEG gives; false when the
    // head ends before it.
    static bool headerSize(std::span<const std::uint8_t> head, std::uint32_t& width, std::uint32_t& height);
    // Returns 0 and fills out, or a QynFileAccess code: Truncated when the data end (or
    // hit a marker) before the last row or the end marker, TooLarge for a side over
    // QynFileAccess::MaxSide or coefficients past the limit, NotAnImage for a cut header
    // or anything corrupt; `why` receives the reason where there is more to say.
    // Throws std::bad_alloc.
    static std::int32_t decode(std::span<const std::uint8_t> bytes, std::shared_ptr<QynPixelBuffer>& out,
                               QString* why = nullptr);
};
