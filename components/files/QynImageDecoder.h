#pragma once

#include "QynPixelBuffer.h"

#include <cstdint>
#include <QString>

#include <memory>
#include <span>

class QIODevice;

// Decodes an image file held in memory into slot pixels. BMP files go through our own
// checked reader, PNG and JPEG through libpng and libjpeg straight into the slot's rows,
// TIFF and binary PBM, PGM and PPM through Qt's readers (PNM checked whole first). Every
// other format is refused by name: Qt reads some of them, but loads their cut or lying
// files as images. The content decides the format, not the file name.
class QynImageDecoder {
public:
    // Before a file is read: 0 when its first bytes (head) name a format we read and
    // fileSize is no larger than the largest image the header can describe plus a
    // generous slack, else NotAnImage. file, when given, is the whole file, for formats
    // whose size may lie past the head (TIFF). `why` receives the reason where there is
    // more to say than the code (a format we do not read, by name).
    static std::int32_t screen(std::span<const std::uint8_t> head, std::uint64_t fileSize, QIODevice* file,
                               QString* why = nullptr);
    // For a file that shows no format we know: the refusal of the format its name's
    // extension names, if we do not read that one (TGA has no signature), else nothing.
    static QString refusalByName(const QString& path);
    // Returns 0 and fills out, or a QynFileAccess code with the reason in `why` as above.
    // Throws std::bad_alloc.
    static std::int32_t decode(std::span<const std::uint8_t> bytes, std::shared_ptr<QynPixelBuffer>& out,
                               QString* why = nullptr);
};
