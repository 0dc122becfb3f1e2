#include "QynVideo.h"

QynVideo::QynVideo(const QynStoredSettings&) {}

QynCallResult QynVideo::invoke(std::int32_t, QynCallKind, std::span<const QynVariant>) noexcept
{
    return {QynStatus::UnknownMember, {}};
}
