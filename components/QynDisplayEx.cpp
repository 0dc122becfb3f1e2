#include "QynDisplayEx.h"

QynDisplayEx::QynDisplayEx(const QynStoredSettings&) {}

QynCallResult QynDisplayEx::invoke(std::int32_t, QynCallKind, std::span<const QynVariant>) noexcept
{
    return {QynStatus::UnknownMember, {}};
}
