#include "QynStreamCheck.h"

#include "QynFileResult.h"

#include <algorithm>
#include <string_view>

namespace {

std::size_t colourTableBytes(std::uint8_t flags)
{
    return (flags & 0x80) ? 3 * (std::size_t{2} << (flags & 7)) : 0;
}

// Moves pos past a chain of sub-blocks and its zero terminator; false when the file ends.
bool skipSubBlocks(std::span<const std::uint8_t> b, std::size_t& pos)
{
    while (pos < b.size()) {
        const std::size_t length = b[pos++];
        if (length == 0)
            return true;
        pos += length;
    }
    return false;
}

}  // namespace

std::int32_t QynStreamCheck::gif(std::span<const std::uint8_t> b)
{
    constexpr std::size_t ScreenEnd = 13;  // signature and logical screen descriptor
    if (b.size() < ScreenEnd)
        return QynFileResult::Truncated;
    std::size_t pos = ScreenEnd + colourTableBytes(b[10]);
    while (pos < b.size()) {
        switch (b[pos]) {
        case 0x3b:  // trailer
            return QynFileResult::Success;
        case 0x21:  // extension: label, then sub-blocks
            pos += 2;
            if (!skipSubBlocks(b, pos))
                return QynFileResult::Truncated;
            break;
        case 0x2c:  // image descriptor, local colour table, LZW code size, sub-blocks
            if (pos + 10 > b.size())
                return QynFileResult::Truncated;
            pos += 10 + colourTableBytes(b[pos + 9]) + 1;
            if (!skipSubBlocks(b, pos))
                return QynFileResult::Truncated;
            break;
        default:
            return QynFileResult::NotAnImage;
        }
    }
    return QynFileResult::Truncated;
}

std::int32_t QynStreamCheck::xbm(std::span<const std::uint8_t> bytes, int width, int height)
{
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    const std::size_t open = text.find('{');
    if (open == std::string_view::npos)
        return QynFileResult::Truncated;
    const bool shorts = text.substr(0, open).find("short") != std::string_view::npos;
    const std::size_t needed = shorts ? static_cast<std::size_t>((width + 15) / 16) * static_cast<std::size_t>(height)
                                      : static_cast<std::size_t>((width + 7) / 8) * static_cast<std::size_t>(height);
    std::size_t values = 0;
    for (std::size_t at = text.find("0x", open); at != std::string_view::npos && values < needed;
         at = text.find("0x", at + 2))
        ++values;
    for (std::size_t at = text.find("0X", open); at != std::string_view::npos && values < needed;
         at = text.find("0X", at + 2))
        ++values;
    return values >= needed ? QynFileResult::Success : QynFileResult::Truncated;
}
