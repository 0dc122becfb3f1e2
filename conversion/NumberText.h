#pragma once

#include <QString>

#include <cstdint>
#include <optional>

namespace qyn {

// The number an operator typed into a parameter field, as a 32-bit integer.
// Blanks, tabs and line feeds anywhere are ignored; the longest leading part that forms
// a number is read (sign, digits, one decimal point, an exponent with E or D; or &H hex
// and &O octal digits, taken as a 32-bit two's-complement pattern); text that does not
// begin with a number reads 0. The value is rounded to the nearest integer, exact
// halves to the even neighbour. Empty when it lies outside the 32-bit range (overflow).
std::optional<std::int32_t> readParameter(const QString& text);

// An elapsed time as the time field shows it: at least one digit, a '.', exactly two
// decimals rounded half away from zero, then "ms" (3.14159 -> "3.14ms"), whatever the locale.
QString formatMilliseconds(double milliseconds);

}  // namespace qyn
