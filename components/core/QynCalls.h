#pragma once

#include "QynComponent.h"

#include <initializer_list>
#include <optional>

// Thin typed helpers over invoke() for the program's own code.
namespace qyn {

QynStatus call(QynComponent& component, std::int32_t dispId,
               std::initializer_list<QynVariant> args = {});
QynStatus put(QynComponent& component, std::int32_t dispId, const QynVariant& value);
// The property read as a 32-bit integer; empty when the read fails.
std::optional<std::int32_t> getInt32(QynComponent& component, std::int32_t dispId);
// The code the component's GetLastResult method (dispatch id getLastResult) hands back;
// 0 when that call writes none.
std::int32_t lastResult(QynComponent& component, std::int32_t getLastResult);

}  // namespace qyn
