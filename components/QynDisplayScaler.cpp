#include "QynDisplayScaler.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

// Sums each box row in registers, then into one accumulator per output column and
// channel, so the source is read once, in memory order. 32-bit sums hold up to
// MaxFactor x MaxFactor x 255.
// Widest box whose row sum of one channel fits a 16-bit lane.
constexpr int MaxLaneFactor = 65535 / 255;

template <int Channels>
void reduceRows(const QynPixelBuffer& in, int factor, QImage& out)
{
    constexpr int BytesPerPixel = Channels == 1 ? 1 : 4;
    const int outWidth = out.width();
    std::vector<std::uint32_t> sums(std::size_t(outWidth) * Channels);
    for (int oy = 0; oy < out.height(); ++oy) {
        const int y0 = oy * factor;
        const int y1 = std::min(in.height(), y0 + factor);
        std::fill(sums.begin(), sums.end(), 0u);
        for (int y = y0; y < y1; ++y) {
            const std::uint8_t* s = in.row(y);
            std::uint32_t* acc = sums.data();
            for (int x = 0; x < in.width(); acc += Channels) {
                const int x1 = std::min(in.width(), x + factor);
                if constexpr (Channels == 3) {
                    if (factor <= MaxLaneFactor) {
                        // Blue and red side by side in 16-bit lanes of one word.
                        std::uint32_t blueRed = 0, green = 0;
                        for (; x < x1; ++x, s += 4) {
                            std::uint32_t word;
                            std::memcpy(&word, s, 4);
                            blueRed += word & 0x00ff00ffu;
                            green += (word >> 8) & 0xffu;
                        }
                        acc[0] += blueRed & 0xffffu;
                        acc[1] += green;
                        acc[2] += blueRed >> 16;
                        continue;
                    }
                }
                std::uint32_t a[Channels] = {};
                for (; x < x1; ++x, s += BytesPerPixel)
                    for (int c = 0; c < Channels; ++c)
                        a[c] += s[c];
                for (int c = 0; c < Channels; ++c)
                    acc[c] += a[c];
            }
        }
        std::uint8_t* d = out.scanLine(oy);
        const std::uint32_t* acc = sums.data();
        for (int ox = 0; ox < outWidth; ++ox, acc += Channels, d += BytesPerPixel) {
            const std::uint32_t count =
                std::uint32_t(std::min(in.width(), (ox + 1) * factor) - ox * factor) * std::uint32_t(y1 - y0);
            for (int c = 0; c < Channels; ++c)
                d[c] = std::uint8_t((std::uint64_t(acc[c]) + count / 2) / count);
            if constexpr (Channels == 3)
                d[3] = 0xff;
        }
    }
}

}  // namespace

namespace qyn {

int displayReduction(QSize size, QSize limit)
{
    if (size.isEmpty() || limit.isEmpty())
        return 1;
    return std::max({1, size.width() / limit.width(), size.height() / limit.height()});
}

QImage reducedCopy(const QynPixelBuffer& pixels, int factor)
{
    factor = std::clamp(factor, 1, MaxReductionFactor);
    const bool gray = pixels.format() == QynPixelFormat::Gray8;
    QImage out((pixels.width() + factor - 1) / factor, (pixels.height() + factor - 1) / factor,
               gray ? QImage::Format_Grayscale8 : QImage::Format_RGB32);
    if (out.isNull())
        return out;
    if (gray)
        reduceRows<1>(pixels, factor, out);
    else
        reduceRows<3>(pixels, factor, out);
    return out;
}

QImage scaledForDisplay(const QImage& source, QSize size)
{
    if (source.isNull() || size.isEmpty())
        return {};
    QImage out = source.size() == size
        ? source.copy()
        : source.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    if (out.format() == QImage::Format_RGB32) {
        for (int y = 0; y < out.height(); ++y) {
            auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
            for (int x = 0; x < out.width(); ++x)
                line[x] |= 0xff000000u;
        }
    }
    return out;
}

}  // namespace qyn
