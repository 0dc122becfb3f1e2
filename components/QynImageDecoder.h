#pragma once

#include "QynPixelBuffer.h"

#include <cstdint>
#include <memory>
#include <span>

// Decodes an image file held in memory into slot pixels. BMP files go through our own
// checked reader; other formats (PNG, JPEG, TIFF, ...) through Qt's readers, into an
// image we allocated and cleared, so no byte of a short file is left uninitialised.
// The content decides the format, not the file name.
class QynImageDecoder {
public:
    // Returns 0 and fills out, or a QynFileAccess code. Throws std::bad_alloc.
    static std::int32_t decode(std::span<const std::uint8_t> bytes,
                               std::shared_ptr<QynPixelBuffer>& out);
};
