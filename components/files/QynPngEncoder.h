#pragma once

#include "QynPixelBuffer.h"

#include <QString>

class QIODevice;

// Writes slot pixels as a PNG file through libpng, straight from the slot's rows: gray
// as 8-bit gray, colour as 8-bit RGB taken from the slot's B, G, R, X words by libpng's
// own transforms. The settings are those of Qt's PNG writer, which wrote these files
// before (zlib's defaults, libpng's filters, 96 dots an inch), so the bytes are the
// same; only the copy into RGB rows and the whole file in memory are gone.
class QynPngEncoder {
public:
    // An empty text, or why the file could not be written (the device's error when a
    // write failed). Throws std::bad_alloc.
    static QString write(QIODevice& device, const QynPixelBuffer& pixels);
};
