#include "QynDisplayScaler.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

// Sums a box row by row into one accumulator per output column and channel, so the
// source is read once, in memory order.
template <int Channels>
void reduceRows(const QynPixelBuffer& in, int factor, QImage& out)
{
    constexpr int BytesPerPixel = Channels == 1 ? 1 : 4;
    const int outWidth = out.width();
    std::vector<std::uint64_t> sums(std::size_t(outWidth) * Channels);
    for (int oy = 0; oy < out.height(); ++oy) {
        const int y0 = oy * factor;
        const int y1 = std::min(in.height(), y0 + factor);
        std::fill(sums.begin(), sums.end(), 0);
        for (int y = y0; y < y1; ++y) {
            const std::uint8_t* s = in.row(y);
            for (int ox = 0; ox < outWidth; ++ox) {
                const int x1 = std::min(in.width(), (ox + 1) * factor);
                std::uint64_t* acc = &sums[std::size_t(ox) * Channels];
                for (int x = ox * factor; x < x1; ++x, s += BytesPerPixel)
                    for (int c = 0; c < Channels; ++c)
                        acc[c] += s[c];
            }
        }
        std::uint8_t* d = out.scanLine(oy);
        for (int ox = 0; ox < outWidth; ++ox) {
            const std::uint64_t count =
                std::uint64_t(std::min(in.width(), (ox + 1) * factor) - ox * factor) * (y1 - y0);
            const std::uint64_t* acc = &sums[std::size_t(ox) * Channels];
            for (int c = 0; c < Channels; ++c)
                d[c] = std::uint8_t((acc[c] + count / 2) / count);
            if constexpr (Channels == 3) {
                d[3] = 0xff;
                d += 4;
            } else {
                d += 1;
            }
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
    factor = std::max(1, factor);
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
