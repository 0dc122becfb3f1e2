#pragma once

#include "QynPixelBuffer.h"

class QIODevice;

// Writes slot pixels as an uncompressed bottom-up BMP: gray as 8 bits a pixel with a
// 256-entry gray palette, colour as 24 bits a pixel.
class QynBmpEncoder {
public:
    // False when the image is too big for a BMP or the device fails a write.
    // Throws std::bad_alloc.
    static bool write(QIODevice& device, const QynPixelBuffer& pixels);
};
