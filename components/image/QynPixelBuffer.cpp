#include "QynPixelBuffer.h"

#include "QynHugePages.h"

#include <new>

namespace {
constexpr std::align_val_t Alignment{64};
}

int qynBytesPerPixel(QynPixelFormat format)
{
    return format == QynPixelFormat::Gray8 ? 1 : 4;
}

std::size_t QynPixelBuffer::bytesFor(int width, int height, QynPixelFormat format)
{
    if (width < 1 || height < 1 || width > MaxBufferSide || height > MaxBufferSide)
        throw std::bad_alloc();
    return static_cast<std::size_t>(width) * static_cast<std::size_t>(height)
        * static_cast<std::size_t>(qynBytesPerPixel(format));
}

QynPixelBuffer::QynPixelBuffer(int width, int height, QynPixelFormat format)
    : width_(width), height_(height), format_(format),
      stride_(static_cast<std::ptrdiff_t>(width) * qynBytesPerPixel(format)),
      capacity_(bytesFor(width, height, format))
{
    data_ = static_cast<std::uint8_t*>(::operator new(capacity_, Alignment));
    // Nothing is touched yet: a large image is then filled (by a load, a grab or the
    // conversion being timed) with one page fault every 2 MiB instead of every 4 KiB.
    qynAdviseHugePages(data_, capacity_);
}

QynPixelBuffer::~QynPixelBuffer()
{
    ::operator delete(data_, Alignment);
}

bool QynPixelBuffer::reshape(int width, int height, QynPixelFormat format)
{
    if (width < 1 || height < 1 || width > MaxBufferSide || height > MaxBufferSide
        || bytesFor(width, height, format) > capacity_)
        return false;
    width_ = width;
    height_ = height;
    format_ = format;
    stride_ = static_cast<std::ptrdiff_t>(width) * qynBytesPerPixel(format);
    return true;
}
