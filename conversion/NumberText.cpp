#include "NumberText.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace qyn {
namespace {

std::string withoutBlanks(const QString& text)
{
    std::string out;
    for (const QChar c : text) {
        if (c == u' ' || c == u'\t' || c == u'\n')
            continue;
        // Anything outside ASCII ends a number anyway; keep a marker that matches nothing.
        out.push_back(c.unicode() < 128 ? static_cast<char>(c.unicode()) : '\x7f');
    }
    return out;
}

// The value of a digit in the base, or -1.
int digitValue(char c, int base)
{
    int value = -1;
    if (c >= '0' && c <= '9')
        value = c - '0';
    else if (c >= 'a' && c <= 'f')
        value = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F')
        value = c - 'A' + 10;
    return value < base ? value : -1;
}

// "&H1F" or "&O17": the digits as a 32-bit pattern; empty on more than 32 bits.
std::optional<double> readRadix(const std::string& s)
{
    int base = 8;
    std::size_t i = 1;
    if (i < s.size() && (s[i] == 'H' || s[i] == 'h')) {
        base = 16;
        ++i;
    } else if (i < s.size() && (s[i] == 'O' || s[i] == 'o')) {
        ++i;
    }
    std::uint64_t value = 0;
    for (; i < s.size() && digitValue(s[i], base) >= 0; ++i) {
        value = value * base + static_cast<std::uint64_t>(digitValue(s[i], base));
        if (value > std::numeric_limits<std::uint32_t>::max())
            return std::nullopt;
    }
    return static_cast<double>(static_cast<std::int32_t>(static_cast<std::uint32_t>(value)));
}

// The longest leading decimal number; 0 when there is none. Empty when it is too large.
std::optional<double> readDecimal(const std::string& s)
{
    std::size_t i = 0;
    std::string number;
    if (i < s.size() && (s[i] == '+' || s[i] == '-'))
        number.push_back(s[i++]);
    std::size_t digits = 0;
    for (; i < s.size() && digitValue(s[i], 10) >= 0; ++i, ++digits)
        number.push_back(s[i]);
    if (i < s.size() && s[i] == '.') {
        number.push_back(s[i++]);
        for (; i < s.size() && digitValue(s[i], 10) >= 0; ++i, ++digits)
            number.push_back(s[i]);
    }
    if (digits == 0)
        return 0.0;
    bool negativeExponent = false;
    if (i < s.size() && (s[i] == 'E' || s[i] == 'e' || s[i] == 'D' || s[i] == 'd')) {
        std::size_t j = i + 1;
        std::string exponent = "e";
        if (j < s.size() && (s[j] == '+' || s[j] == '-')) {
            negativeExponent = s[j] == '-';
            exponent.push_back(s[j++]);
        }
        const std::size_t firstDigit = j;
        for (; j < s.size() && digitValue(s[j], 10) >= 0; ++j)
            exponent.push_back(s[j]);
        if (j > firstDigit)
            number += exponent;  // an exponent without digits is not part of the number
    }
    const char* begin = number.data() + (number[0] == '+' ? 1 : 0);
    double value = 0;
    const auto [end, error] = std::from_chars(begin, number.data() + number.size(), value);
    if (error == std::errc::result_out_of_range)
        return negativeExponent ? std::optional<double>(0.0) : std::nullopt;
    if (error != std::errc() || end != number.data() + number.size())
        return 0.0;
    return value;
}

}  // namespace

std::optional<std::int32_t> readParameter(const QString& text)
{
    const std::string s = withoutBlanks(text);
    const std::optional<double> value = !s.empty() && s[0] == '&' ? readRadix(s) : readDecimal(s);
    if (!value)
        return std::nullopt;
    const double rounded = std::nearbyint(*value);  // the default mode: halves to even
    if (!(rounded >= std::numeric_limits<std::int32_t>::min()
          && rounded <= std::numeric_limits<std::int32_t>::max()))
        return std::nullopt;
    return static_cast<std::int32_t>(rounded);
}

QString formatMilliseconds(double milliseconds)
{
    if (!std::isfinite(milliseconds))
        return QString::number(milliseconds) + QStringLiteral("ms");
    // 24 decimals, so the third decimal decides alone; std::to_chars always writes a '.',
    // whatever decimal sign LC_NUMERIC asks for.
    char buffer[std::numeric_limits<double>::max_exponent10 + 32];
    const auto printed = std::to_chars(buffer, buffer + sizeof buffer, std::fabs(milliseconds),
                                       std::chars_format::fixed, 24);
    std::string digits(buffer, printed.ptr);
    digits.resize(digits.find('.') + 4);  // keep three decimals, truncated
    const bool up = digits.back() >= '5';
    digits.pop_back();
    if (up) {
        for (std::size_t i = digits.size(); i-- > 0;) {
            if (digits[i] == '.')
                continue;
            if (digits[i] != '9') {
                ++digits[i];
                break;
            }
            digits[i] = '0';
            if (i == 0)
                digits.insert(digits.begin(), '1');
        }
    }
    const bool negative = milliseconds < 0 && digits.find_first_not_of("0.") != std::string::npos;
    return QString::fromLatin1((negative ? "-" : "") + digits + "ms");
}

}  // namespace qyn
