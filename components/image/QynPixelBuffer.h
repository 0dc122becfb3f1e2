#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

enum class QynPixelFormat {
    Gray8,    // one byte a pixel
    Color32,  // one 32-bit word a pixel, 0x00RRGGBB little-endian: memory order B, G, R, X
};

int qynBytesPerPixel(QynPixelFormat format);

// The pixels of one image: rows of width pixels, stride bytes apart, 64-byte aligned.
// Slots hand these out as shared pointers, so a display can keep drawing a buffer
// that its slot has since replaced.
class QynPixelBuffer {
public:
    // Throws std::bad_alloc when the size does not fit in memory or overflows.
    QynPixelBuffer(int width, int height, QynPixelFormat format);
    ~QynPixelBuffer();
    QynPixelBuffer(const QynPixelBuffer&) = delete;
    QynPixelBuffer& operator=(const QynPixelBuffer&) = delete;

    // Largest side any buffer may have (image files load up to a smaller side); keeps every
    // byte count far from overflow.
    static constexpr int MaxBufferSide = 1 << 16;

    int width() const { return width_; }
    int height() const { return height_; }
    QynPixelFormat format() const { return format_; }
    std::ptrdiff_t stride() const { return stride_; }
    std::size_t byteCount() const { return static_cast<std::size_t>(stride_) * height_; }

    std::uint8_t* row(int y) { return data_ + y * stride_; }
    const std::uint8_t* row(int y) const { return data_ + y * stride_; }
    std::uint8_t* data() { return data_; }
    const std::uint8_t* data() const { return data_; }

    // Gives the buffer another shape of at most its capacity; false when it is too small.
    bool reshape(int width, int height, QynPixelFormat format);

private:
    static std::size_t bytesFor(int width, int height, QynPixelFormat format);

    int width_ = 0;
    int height_ = 0;
    QynPixelFormat format_ = QynPixelFormat::Gray8;
    std::ptrdiff_t stride_ = 0;
    std::size_t capacity_ = 0;
    std::uint8_t* data_ = nullptr;
};
