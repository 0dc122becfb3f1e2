#include "QynStreamCheck.h"

#include "QynFileResult.h"

#include <cctype>

namespace {

struct Reader {
    std::span<const std::uint8_t> b;
    std::size_t pos = 0;
    bool ended = false;

    // Skips white space and comments, then reads a decimal number; false at a non-digit
    // (ended tells a file end).
    bool number(std::uint64_t& value)
    {
        for (;;) {
            if (pos >= b.size())
                return !(ended = true);
            if (b[pos] == '#') {
                while (pos < b.size() && b[pos] != '\n' && b[pos] != '\r')
                    ++pos;
            } else if (std::isspace(b[pos])) {
                ++pos;
            } else {
                break;
            }
        }
        if (!std::isdigit(b[pos]))
            return false;
        value = 0;
        while (pos < b.size() && std::isdigit(b[pos]) && value < (std::uint64_t{1} << 40))
            value = value * 10 + (b[pos++] - '0');
        if (pos >= b.size())
            return !(ended = true);  // the number may go on past the cut
        return true;
    }
};

}  // namespace

std::int32_t QynStreamCheck::pnm(std::span<const std::uint8_t> bytes)
{
    if (bytes.size() < 2 || bytes[0] != 'P' || bytes[1] < '4' || bytes[1] > '6')
        return QynFileResult::NotAnImage;
    const int kind = bytes[1] - '0';
    Reader r{bytes, 2};
    std::uint64_t width = 0, height = 0, maximum = 1;
    const auto broken = [&] { return r.ended ? QynFileResult::Truncated : QynFileResult::NotAnImage; };
    if (!r.number(width) || !r.number(height) || (kind != 4 && !r.number(maximum)))
        return broken();
    if (width == 0 || height == 0 || maximum == 0 || maximum > 65535)
        return QynFileResult::NotAnImage;
    if (width > QynFileResult::MaxSide || height > QynFileResult::MaxSide)
        return QynFileResult::TooLarge;
    if (!std::isspace(bytes[r.pos]))  // one white space byte ends the header
        return QynFileResult::NotAnImage;
    const std::uint64_t sampleBytes = maximum > 255 ? 2 : 1;
    const std::uint64_t needed = kind == 4 ? (width + 7) / 8 * height : width * height * sampleBytes * (kind == 6 ? 3 : 1);
    return bytes.size() - r.pos - 1 < needed ? QynFileResult::Truncated : QynFileResult::Success;
}
