#pragma once

#include "QynPixelBuffer.h"

#include <cstdint>
#include <memory>
#include <span>

class QIODevice;

// Decodes an image file held in memory into slot pixels. BMP files go through our own
// checked reader, PNG and JPEG through libpng and libjpeg straight into the slot's rows;
// the other formats Qt reads (TIFF, GIF, WebP, PNM, XBM, XPM, ICO, TGA, WBMP, ICNS)
// through Qt's readers, with a check of their own for those whose readers accept a cut
// file. The content decides the format, not the file name.
class QynImageDecoder {
public:
    // Before a file is read: 0 when its first bytes (head) name a format we read and
    // fileSize is no larger than the largest image the header can describe plus a
    // generous slack, else NotAnImage. file, when given, is the whole file, for formats
    // whose size may lie past the head (TIFF).
    static std::int32_t screen(std::span<const std::uint8_t> head, std::uint64_t fileSize, QIODevice* file);
    // Returns 0 and fills out, or a QynFileAccess code. Throws std::bad_alloc.
    static std::int32_t decode(std::span<const std::uint8_t> bytes,
                               std::shared_ptr<QynPixelBuffer>& out);
};
