#include "QynFileAccess.h"

QynFileAccess::QynFileAccess(const QynStoredSettings&) {}

QynCallResult QynFileAccess::invoke(std::int32_t, QynCallKind, std::span<const QynVariant>) noexcept
{
    return {QynStatus::UnknownMember, {}};
}
