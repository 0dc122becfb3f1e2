#pragma once

#include "QynPixelBuffer.h"

#include <QByteArray>
#include <QString>

#include <cstdint>

// Writes slot pixels to a file in the format its extension names where Qt can write it
// (png, jpg, tif, ...), as BMP otherwise. The file is written beside the target under a
// temporary name, synced and renamed over it, so a failed save leaves the old file as it
// was and no temporary file behind.
class QynImageEncoder {
public:
    // Returns 0 or a QynFileAccess code. Throws std::bad_alloc.
    static std::int32_t write(const QString& path, const QynPixelBuffer& pixels);
    // The Qt format name used for a path: "bmp" unless its extension names another.
    static QByteArray formatFor(const QString& path);
};
