#include "QynChangeImage.h"

#include "QynArgs.h"
#include "QynImage.h"

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <new>

namespace {

QynConstPlane planeOf(const QynPixelBuffer& pixels)
{
    return {pixels.data(), pixels.stride()};
}

QynPlane planeOf(QynPixelBuffer& pixels)
{
    return {pixels.data(), pixels.stride()};
}

// Sources must all be filled with a known format, then all of the wanted kind.
std::int32_t checkSources(std::initializer_list<const QynPixelBuffer*> sources,
                          QynPixelFormat wanted)
{
    for (const QynPixelBuffer* source : sources)
        if (!source)
            return QynChangeImage::NullArgument;
    for (const QynPixelBuffer* source : sources)
        if (source->format() != wanted)
            return QynChangeImage::WrongImageKind;
    return QynChangeImage::Success;
}

bool sameSize(const QynPixelBuffer& a, const QynPixelBuffer& b)
{
    return a.width() == b.width() && a.height() == b.height();
}

}  // namespace

QynChangeImage::QynChangeImage(const QynStoredSettings&) : converter_(std::make_unique<QynPlaneConverter>()) {}

QynChangeImage::~QynChangeImage() = default;

int QynChangeImage::threadCount() const
{
    return converter_->threadCount();
}

void QynChangeImage::setThreadCount(int threads)
{
    converter_->setThreadCount(threads);
}

QynCallResult QynChangeImage::invoke(std::int32_t dispId, QynCallKind kind,
                                     std::span<const QynVariant> args) noexcept
{
    if (kind != QynCallKind::Method)
        return fail(ProcessingFailed, QynStatus::UnknownMember);
    try {
        switch (dispId) {
        case GetLastResult: return getLastResult(args);
        case ComposeChannels: return compose(args);
        case DecomposeChannels: return decompose(args);
        case ColorToGray: return colorToGray(args);
        case GrayToColor: return grayToColor(args);
        default: return fail(ProcessingFailed, QynStatus::UnknownMember);
        }
    } catch (...) {
        return fail(ProcessingFailed);  // std::bad_alloc from a destination
    }
}

QynCallResult QynChangeImage::fail(std::int32_t code, QynStatus status)
{
    lastResult_ = code;
    return {status, {}};
}

QynCallResult QynChangeImage::succeed()
{
    lastResult_ = Success;
    return {};
}

QynCallResult QynChangeImage::argumentFailure(QynStatus status)
{
    switch (status) {
    case QynStatus::BadArgCount: return fail(BadParameter, status);
    case QynStatus::TypeMismatch: return fail(WrongArgumentType, status);
    case QynStatus::NullReference: return fail(NullArgument, status);
    default: return fail(ProcessingFailed, status);
    }
}

QynCallResult QynChangeImage::getLastResult(std::span<const QynVariant> args)
{
    QynArgs in(args, 1);
    std::int32_t* out = in.int32Out(0);
    if (!in.ok())
        return argumentFailure(in.status());
    *out = lastResult_;
    return {};
}

QynCallResult QynChangeImage::compose(std::span<const QynVariant> args)
{
    QynArgs in(args, 4);
    QynImage* slot[4];
    for (std::size_t i = 0; i < 4; ++i)
        slot[i] = in.image(i);
    if (!in.ok())
        return argumentFailure(in.status());
    if (slot[3] == slot[0] || slot[3] == slot[1] || slot[3] == slot[2])
        return fail(SameObject);
    const QynPixelBuffer* red = slot[0]->pixels();
    const QynPixelBuffer* green = slot[1]->pixels();
    const QynPixelBuffer* blue = slot[2]->pixels();
    if (const std::int32_t code = checkSources({red, green, blue}, QynPixelFormat::Gray8))
        return fail(code);
    if (!sameSize(*red, *green) || !sameSize(*red, *blue))
        return fail(SizeMismatch);

    const int width = red->width();
    const int height = red->height();
    QynPixelBuffer& color = slot[3]->prepareForWrite(width, height, QynPixelFormat::Color32);
    converter_->compose(planeOf(*red), planeOf(*green), planeOf(*blue), planeOf(color), width, height);
    return succeed();
}

QynCallResult QynChangeImage::decompose(std::span<const QynVariant> args)
{
    QynArgs in(args, 4);
    QynImage* slot[4];
    for (std::size_t i = 0; i < 4; ++i)
        slot[i] = in.image(i);
    if (!in.ok())
        return argumentFailure(in.status());
    for (std::size_t i = 1; i < 4; ++i)
        for (std::size_t j = 0; j < i; ++j)
            if (slot[i] == slot[j])
                return fail(SameObject);
    const QynPixelBuffer* color = slot[0]->pixels();
    if (const std::int32_t code = checkSources({color}, QynPixelFormat::Color32))
        return fail(code);

    const int width = color->width();
    const int height = color->height();
    QynPixelBuffer* planes[3] = {};
    try {
        for (std::size_t i = 0; i < 3; ++i)
            planes[i] = &slot[i + 1]->prepareForWrite(width, height, QynPixelFormat::Gray8);
    } catch (const std::bad_alloc&) {
        for (std::size_t i = 1; i < 4; ++i)
            slot[i]->clear();  // no half-made destination is left looking filled
        return fail(ProcessingFailed);
    }
    converter_->decompose(planeOf(*color), planeOf(*planes[0]), planeOf(*planes[1]), planeOf(*planes[2]),
                          width, height);
    return succeed();
}

QynCallResult QynChangeImage::colorToGray(std::span<const QynVariant> args)
{
    QynArgs in(args, 5);
    QynImage* source = in.image(0);
    QynImage* destination = in.image(1);
    const QynGrayWeights weights{in.real(2), in.real(3), in.real(4)};
    if (!in.ok())
        return argumentFailure(in.status());
    if (!std::isfinite(weights.red) || !std::isfinite(weights.green)
        || !std::isfinite(weights.blue))
        return fail(BadParameter);
    if (source == destination)
        return fail(SameObject);
    const QynPixelBuffer* color = source->pixels();
    if (const std::int32_t code = checkSources({color}, QynPixelFormat::Color32))
        return fail(code);

    const int width = color->width();
    const int height = color->height();
    QynPixelBuffer& gray = destination->prepareForWrite(width, height, QynPixelFormat::Gray8);
    converter_->colorToGray(planeOf(*color), planeOf(gray), width, height, weights);
    return succeed();
}

QynCallResult QynChangeImage::grayToColor(std::span<const QynVariant> args)
{
    QynArgs in(args, 4);
    QynImage* source = in.image(0);
    QynImage* destination = in.image(1);
    const std::int32_t count = in.int32(2);
    const std::span<const std::int32_t> table = in.int32s(3);
    if (!in.ok())
        return argumentFailure(in.status());
    if (count != 256 || table.size() < 256)
        return fail(BadParameter);
    if (source == destination)
        return fail(SameObject);
    const QynPixelBuffer* gray = source->pixels();
    if (const std::int32_t code = checkSources({gray}, QynPixelFormat::Gray8))
        return fail(code);

    // The entries as given, copied so the kernels never touch the caller's memory.
    std::uint32_t entries[256];
    std::transform(table.begin(), table.begin() + 256, entries,
                   [](std::int32_t e) { return static_cast<std::uint32_t>(e); });
    const int width = gray->width();
    const int height = gray->height();
    QynPixelBuffer& color = destination->prepareForWrite(width, height, QynPixelFormat::Color32);
    converter_->grayToColor(planeOf(*gray), planeOf(color), width, height, entries);
    return succeed();
}
