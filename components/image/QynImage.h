#pragma once

#include "QynComponent.h"
#include "QynComponentRegistry.h"
#include "QynPixelBuffer.h"

#include <memory>

// An image slot. Its format is described by four 32-bit properties: FormatParam1
// (width), FormatParam2 (height), BitDepth and ImageType. The program knows two
// formats: 8-bit gray (BitDepth 8, ImageType 0) and colour (BitDepth 32, ImageType 2).
//
// A slot is empty (never filled, or cleared) or holds pixels of its format. Writing
// the properties changes the described format; the pixels follow it like this:
//  - ImageType 0 or 2 brings its own depth: writing it sets BitDepth to 8 or 32.
//  - While the properties describe no known format (say BitDepth 8 with ImageType 2,
//    half-way through a change), the pixels are kept but no conversion, save or
//    display takes them.
//  - When they describe the other known format at the same size, the pixels are
//    converted: colour becomes gray by luminance (77 R + 150 G + 29 B + 128) / 256,
//    gray becomes colour with R = G = B. So "BitDepth 8, then ImageType 0" turns a
//    colour slot into a real gray image, never colour bytes labelled as gray.
//  - When they describe another size, the slot becomes empty with that format.
// A value written reads back unchanged until the slot is loaded, grabbed into,
// cleared or converted into.
class QynImage final : public QynComponent {
public:
    static constexpr const char* ProgId = "QYNCOMIMAGELibCtl.QynImage";
    enum DispId : std::int32_t {
        FormatParam1 = 1,
        FormatParam2 = 2,
        BitDepth = 3,
        ImageType = 5,
        Clear = 103,
    };
    enum : std::int32_t { TypeGray = 0, TypeColor = 2 };

    // Stored settings: width, height, bit depth, two reserved values, image type and a
    // reserved pitch (512, 480, 8, 1, 1, 0, 512 is an empty 512 x 480 gray slot).
    explicit QynImage(const QynStoredSettings& settings = {});

    QString progId() const override { return QString::fromLatin1(ProgId); }
    QynCallResult invoke(std::int32_t dispId, QynCallKind kind,
                         std::span<const QynVariant> args) noexcept override;
    QynImage* asImage() noexcept override { return this; }

    // Native access for the other components.
    std::int32_t width() const { return width_; }
    std::int32_t height() const { return height_; }
    std::int32_t bitDepth() const { return bitDepth_; }
    std::int32_t imageType() const { return imageType_; }
    // The format the properties describe, when they describe a known one.
    bool describedFormat(QynPixelFormat& format) const;

    // The pixels when the slot is filled and they match the described format; else null.
    const QynPixelBuffer* pixels() const;
    std::shared_ptr<const QynPixelBuffer> sharedPixels() const;
    bool isFilled() const { return pixels() != nullptr; }

    // Makes the slot an image of this size and format and returns its pixels to fill.
    // Reuses the slot's own memory when nothing else (a display) still holds it.
    // Throws std::bad_alloc.
    QynPixelBuffer& prepareForWrite(int width, int height, QynPixelFormat format);
    // Takes a buffer filled elsewhere (a file, a camera frame); the properties follow it.
    void assign(std::shared_ptr<QynPixelBuffer> buffer);
    // Hands the pixels over to a caller that keeps them (a script's array), or null when
    // the slot holds none; the slot is left empty and keeps nothing of them for reuse.
    std::shared_ptr<QynPixelBuffer> takePixels();
    // Empties the slot; its format properties stay as they are.
    void clear();
    // The format of the buffer becomes the described format (used after grabbing).
    void setFormat(std::int32_t width, std::int32_t height, QynPixelFormat format);

private:
    void reconcile();
    static std::shared_ptr<QynPixelBuffer> converted(const QynPixelBuffer& from, QynPixelFormat to);

    std::int32_t width_ = 512;
    std::int32_t height_ = 480;
    std::int32_t bitDepth_ = 8;
    std::int32_t imageType_ = TypeGray;
    std::shared_ptr<QynPixelBuffer> buffer_;  // kept after clear() for reuse
    bool filled_ = false;
};
