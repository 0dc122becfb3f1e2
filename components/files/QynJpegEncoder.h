#pragma once

#include "QynPixelBuffer.h"

#include <QString>

class QIODevice;

// Writes slot pixels as a baseline JPEG file through libjpeg, straight from the slot's
// rows: gray as one channel, colour as the slot's B, G, R, X words, which libjpeg-turbo
// reads as they are. The settings are those of Qt's JPEG writer, which wrote these
// files before (libjpeg's defaults, quality 75, 96 dots an inch), so the bytes are the
// same; only the copying and converting around libjpeg are gone.
class QynJpegEncoder {
public:
    // An empty text, or why the file could not be written (the device's error when a
    // write failed). Throws std::bad_alloc.
    static QString write(QIODevice& device, const QynPixelBuffer& pixels);
};
