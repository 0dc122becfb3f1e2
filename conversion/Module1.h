#pragma once

#include <QString>

#include <cstdint>

namespace Module1 {

// The message shown for a conversion result code; unlisted codes are "An unknown error".
QString GetResultMessage(std::int32_t code);

}  // namespace Module1
