#pragma once

#include <QString>

#include <cstdint>
#include <span>
#include <variant>

class QynComponent;

// One argument or result of a component call. The alternatives are the automation
// variants the components understand: 32-bit integer, double, string, an image (or
// other component) reference, by-reference 32-bit integer and double outputs, and a
// read-only run of 32-bit integers that always carries its length.
using QynVariant = std::variant<std::monostate, std::int32_t, double, QString, QynComponent*,
                                std::int32_t*, double*, std::span<const std::int32_t>>;

// A short readable form of a variant, for call logs and test messages.
QString qynVariantText(const QynVariant& value);
