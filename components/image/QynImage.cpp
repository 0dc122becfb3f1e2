#include "QynImage.h"

#include "QynArgs.h"

#include <new>

namespace {

std::int32_t depthOf(QynPixelFormat format)
{
    return format == QynPixelFormat::Gray8 ? 8 : 32;
}

std::int32_t typeOf(QynPixelFormat format)
{
    return format == QynPixelFormat::Gray8 ? QynImage::TypeGray : QynImage::TypeColor;
}

std::int32_t settingAt(const QynStoredSettings& settings, std::size_t i, std::int32_t fallback)
{
    if (i < settings.size())
        if (const auto* v = std::get_if<std::int32_t>(&settings[i]))
            return *v;
    return fallback;
}

}  // namespace

QynImage::QynImage(const QynStoredSettings& settings)
    : width_(settingAt(settings, 0, 512)), height_(settingAt(settings, 1, 480)),
      bitDepth_(settingAt(settings, 2, 8)), imageType_(settingAt(settings, 5, TypeGray))
{
}

QynCallResult QynImage::invoke(std::int32_t dispId, QynCallKind kind,
                               std::span<const QynVariant> args) noexcept
{
    std::int32_t* property = nullptr;
    switch (dispId) {
    case FormatParam1: property = &width_; break;
    case FormatParam2: property = &height_; break;
    case BitDepth: property = &bitDepth_; break;
    case ImageType: property = &imageType_; break;
    case Clear:
        if (kind != QynCallKind::Method)
            return {QynStatus::UnknownMember, {}};
        if (!args.empty())
            return {QynStatus::BadArgCount, {}};
        clear();
        return {};
    default: return {QynStatus::UnknownMember, {}};
    }

    if (kind == QynCallKind::PropertyGet) {
        if (!args.empty())
            return {QynStatus::BadArgCount, {}};
        return {QynStatus::Ok, *property};
    }
    if (kind != QynCallKind::PropertyPut)
        return {QynStatus::UnknownMember, {}};
    QynArgs in(args, 1);
    const std::int32_t value = in.int32(0);
    if (!in.ok())
        return {in.status(), {}};
    *property = value;
    if (dispId == ImageType && (value == TypeGray || value == TypeColor))
        bitDepth_ = value == TypeGray ? 8 : 32;
    reconcile();
    return {};
}

bool QynImage::describedFormat(QynPixelFormat& format) const
{
    if (width_ < 1 || height_ < 1 || width_ > QynPixelBuffer::MaxBufferSide
        || height_ > QynPixelBuffer::MaxBufferSide)
        return false;
    if (bitDepth_ == 8 && imageType_ == TypeGray)
        format = QynPixelFormat::Gray8;
    else if (bitDepth_ == 32 && imageType_ == TypeColor)
        format = QynPixelFormat::Color32;
    else
        return false;
    return true;
}

const QynPixelBuffer* QynImage::pixels() const
{
    QynPixelFormat format;
    if (!filled_ || !buffer_ || !describedFormat(format))
        return nullptr;
    if (buffer_->format() != format || buffer_->width() != width_ || buffer_->height() != height_)
        return nullptr;
    return buffer_.get();
}

std::shared_ptr<const QynPixelBuffer> QynImage::sharedPixels() const
{
    return pixels() ? buffer_ : nullptr;
}

QynPixelBuffer& QynImage::prepareForWrite(int width, int height, QynPixelFormat format)
{
    filled_ = false;
    if (!(buffer_ && buffer_.use_count() == 1 && buffer_->reshape(width, height, format))) {
        buffer_.reset();  // let the old memory go before asking for new
        buffer_ = std::make_shared<QynPixelBuffer>(width, height, format);
    }
    width_ = width;
    height_ = height;
    bitDepth_ = depthOf(format);
    imageType_ = typeOf(format);
    filled_ = true;
    return *buffer_;
}

std::shared_ptr<QynPixelBuffer> QynImage::takePixels()
{
    std::shared_ptr<QynPixelBuffer> taken = pixels() ? std::move(buffer_) : nullptr;
    clear();
    return taken;
}

void QynImage::assign(std::shared_ptr<QynPixelBuffer> buffer)
{
    if (!buffer) {
        clear();
        return;
    }
    buffer_ = std::move(buffer);
    width_ = buffer_->width();
    height_ = buffer_->height();
    bitDepth_ = depthOf(buffer_->format());
    imageType_ = typeOf(buffer_->format());
    filled_ = true;
}

void QynImage::clear()
{
    filled_ = false;
    if (buffer_ && buffer_.use_count() > 1)
        buffer_.reset();  // someone still draws it; leave it to them
}

void QynImage::setFormat(std::int32_t width, std::int32_t height, QynPixelFormat format)
{
    width_ = width;
    height_ = height;
    bitDepth_ = depthOf(format);
    imageType_ = typeOf(format);
    reconcile();
}

void QynImage::reconcile()
{
    if (!filled_ || !buffer_)
        return;
    QynPixelFormat format;
    if (!describedFormat(format))
        return;  // an unknown or half-written format: keep the pixels, offer none
    if (buffer_->width() != width_ || buffer_->height() != height_) {
        clear();
        return;
    }
    if (buffer_->format() == format)
        return;
    try {
        buffer_ = converted(*buffer_, format);
    } catch (const std::bad_alloc&) {
        clear();
    }
}

std::shared_ptr<QynPixelBuffer> QynImage::converted(const QynPixelBuffer& from, QynPixelFormat to)
{
    auto out = std::make_shared<QynPixelBuffer>(from.width(), from.height(), to);
    for (int y = 0; y < from.height(); ++y) {
        const std::uint8_t* s = from.row(y);
        std::uint8_t* d = out->row(y);
        if (to == QynPixelFormat::Gray8) {
            for (int x = 0; x < from.width(); ++x, s += 4)
                d[x] = static_cast<std::uint8_t>((29 * s[0] + 150 * s[1] + 77 * s[2] + 128) >> 8);
        } else {
            for (int x = 0; x < from.width(); ++x, d += 4) {
                d[0] = d[1] = d[2] = s[x];
                d[3] = 0;
            }
        }
    }
    return out;
}
