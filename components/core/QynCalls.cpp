#include "QynCalls.h"

#include <cmath>
#include <limits>

namespace qyn {

QynStatus call(QynComponent& component, std::int32_t dispId, std::initializer_list<QynVariant> args)
{
    return component.invoke(dispId, QynCallKind::Method, std::span(args.begin(), args.size())).status;
}

QynStatus put(QynComponent& component, std::int32_t dispId, const QynVariant& value)
{
    return component.invoke(dispId, QynCallKind::PropertyPut, std::span(&value, 1)).status;
}

std::optional<std::int32_t> getInt32(QynComponent& component, std::int32_t dispId)
{
    const QynCallResult result = component.invoke(dispId, QynCallKind::PropertyGet, {});
    if (!result.ok())
        return std::nullopt;
    if (const auto* v = std::get_if<std::int32_t>(&result.value))
        return *v;
    if (const auto* v = std::get_if<double>(&result.value)) {
        const double rounded = std::nearbyint(*v);
        if (rounded >= std::numeric_limits<std::int32_t>::min()
            && rounded <= std::numeric_limits<std::int32_t>::max())
            return static_cast<std::int32_t>(rounded);
    }
    return std::nullopt;
}

std::int32_t lastResult(QynComponent& component, std::int32_t getLastResult)
{
    std::int32_t code = 0;
    call(component, getLastResult, {&code});
    return code;
}

}  // namespace qyn
