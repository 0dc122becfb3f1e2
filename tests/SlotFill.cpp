#include "SlotFill.h"

namespace fixture {

void fill(QynImage& slot, int width, int height, QynPixelFormat format, const PixelValue& value)
{
    QynPixelBuffer& px = slot.prepareForWrite(width, height, format);
    const int bytes = qynBytesPerPixel(format);  // a colour word lies in memory low byte first
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const std::uint32_t v = value(x, y);
            for (int byte = 0; byte < bytes; ++byte)
                px.row(y)[bytes * x + byte] = static_cast<std::uint8_t>(v >> (8 * byte));
        }
}

void fill(QynImage& slot, int width, int height, QynPixelFormat format, std::uint32_t value)
{
    fill(slot, width, height, format, [value](int, int) { return value; });
}

void fillPattern(QynImage& slot, int width, int height, QynPixelFormat format, int seed)
{
    fill(slot, width, height, format, [format, seed](int x, int y) {
        const auto byte = [](int v) { return static_cast<std::uint32_t>(v) & 0xff; };
        if (format == QynPixelFormat::Gray8)
            return byte(x * 7 + y * 13 + seed);
        return byte(x * y + 3 + seed) << 16 | byte(y * 11 + seed) << 8 | byte(x * 5 + seed);
    });
}

void fillRandom(QynImage& slot, int width, int height, QynPixelFormat format, std::mt19937& random)
{
    QynPixelBuffer& px = slot.prepareForWrite(width, height, format);
    for (int y = 0; y < height; ++y)
        for (std::ptrdiff_t i = 0; i < px.stride(); ++i)
            px.row(y)[i] = format == QynPixelFormat::Color32 && i % 4 == 3 ? 0 : static_cast<std::uint8_t>(random());
}

}  // namespace fixture
