#include "QynChangeImage.h"

QynChangeImage::QynChangeImage(const QynStoredSettings&) {}

QynCallResult QynChangeImage::invoke(std::int32_t, QynCallKind, std::span<const QynVariant>) noexcept
{
    return {QynStatus::UnknownMember, {}};
}
