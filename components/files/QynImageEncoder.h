#pragma once

#include "QynPixelBuffer.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <span>

// Writes slot pixels to files in the format each extension names: BMP, PNG, JPEG, TIFF,
// PGM (gray) and PPM (colour), as BMP for any other name, through QynAtomicFile: a file
// appears whole or not at all, and a failed save leaves the old file as it was and
// nothing beside it. An extension of another image format (gif, ico, icns, wbmp, ...) is
// refused by name: those writers shrink or misstore some images.
class QynImageEncoder {
public:
    // Writes each buffer to its path, all or none. Returns 0 or a QynFileAccess code,
    // with the reason in `why` and the index of the failing path in `failed`.
    // Throws std::bad_alloc.
    static std::int32_t writeAll(std::span<const QString> paths, std::span<const QynPixelBuffer* const> pixels,
                                 QString* why = nullptr, qsizetype* failed = nullptr);
    // The checks writeAll makes before it writes anything: each path can take a file, and
    // no two name the same file.
    static std::int32_t checkAll(std::span<const QString> paths, QString* why = nullptr, qsizetype* failed = nullptr);
    static std::int32_t write(const QString& path, const QynPixelBuffer& pixels, QString* why = nullptr);
    // The format name used for a path: "bmp" unless its extension names another we write.
    static QByteArray formatFor(const QString& path);
    // Why the format a path names cannot take the image, or an empty string.
    static QString refusal(const QString& path, const QynPixelBuffer& pixels);
};
