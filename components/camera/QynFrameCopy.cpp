#include "QynFrameCopy.h"

#include <cstring>

namespace qyn {

void copyFrameRow(const std::uint8_t* from, std::uint8_t* to, int width, QynPixelFormat format)
{
    if (format == QynPixelFormat::Gray8) {
        std::memcpy(to, from, std::size_t(width));
        return;
    }
    for (int x = 0; x < width; ++x) {
        std::uint32_t word;
        std::memcpy(&word, from + 4 * x, 4);
        word &= 0x00ffffffu;
        std::memcpy(to + 4 * x, &word, 4);
    }
}

void copyFrame(const QynFrameTap::Frame& frame, std::unique_ptr<QynPixelBuffer>& out)
{
    if (!out || !out->reshape(frame.width, frame.height, frame.format))
        out = std::make_unique<QynPixelBuffer>(frame.width, frame.height, frame.format);
    for (int y = 0; y < frame.height; ++y)
        copyFrameRow(frame.data + std::ptrdiff_t(y) * frame.stride, out->row(y), frame.width, frame.format);
}

}  // namespace qyn
