#pragma once

#include "QynBmpProbe.h"
#include "QynPixelBuffer.h"

#include <memory>

class QIODevice;

// Turns the pixel data of a probed BMP file into slot pixels, row by row straight into
// the new buffer: Gray8 for a gray palette, Color32 (X byte 0) for everything else.
class QynBmpDecoder {
public:
    // Returns 0 and fills out, or a QynFileAccess code (Truncated when an RLE stream ends
    // early, NotAnImage for RLE runs that leave the image). Throws std::bad_alloc.
    static std::int32_t decode(std::span<const std::uint8_t> file, const QynBmpInfo& info,
                               std::shared_ptr<QynPixelBuffer>& out);
    // The same for an uncompressed file (RGB or bit fields) read from file, whose header
    // info describes: a chunk of rows at a time, so no copy of the whole file is made.
    // An open file (a QFileDevice with a handle) is read at offsets, and one whose image
    // fills 32 MiB or more by two threads at once, each its half of the rows. NotReadable when a read fails, Truncated when the file ends early (it may have
    // been cut since it was probed). Throws std::bad_alloc.
    static std::int32_t decode(QIODevice& file, const QynBmpInfo& info, std::shared_ptr<QynPixelBuffer>& out);
};
