#include "QynHistogram.h"

#include "QynRegionStats.h"
#include "QynRowPool.h"

#include <algorithm>
#include <cstring>
#include <mutex>

namespace {

using Counts = std::array<std::array<std::uint64_t, 256>, 3>;

// Rows counted into 32-bit tables before they go into the 64-bit ones: a row has at most
// 2^16 pixels, so no table entry passes 2^31.
constexpr std::ptrdiff_t RowsPerFlush = 1 << 15;

// Counting is bound by the table increments, not by the reading: no vector instruction
// set helps it. Consecutive pixels go into separate tables, so an increment need not wait
// for the one before it when neighbours share a level (flat areas, clipped highlights).
struct Tables {
    std::uint32_t t[6][256];

    void clear() { std::memset(t, 0, sizeof t); }

    void grayRow(const std::uint8_t* p, std::ptrdiff_t width)
    {
        std::ptrdiff_t x = 0;
        for (; x + 4 <= width; x += 4) {
            ++t[0][p[x]];
            ++t[1][p[x + 1]];
            ++t[2][p[x + 2]];
            ++t[3][p[x + 3]];
        }
        for (; x < width; ++x)
            ++t[0][p[x]];
    }

    void colorRow(const std::uint8_t* p, std::ptrdiff_t width)
    {
        std::ptrdiff_t x = 0;
        for (; x + 2 <= width; x += 2) {
            std::uint32_t w[2];
            std::memcpy(w, p + 4 * x, sizeof w);
            ++t[0][(w[0] >> 16) & 0xff];
            ++t[1][(w[0] >> 8) & 0xff];
            ++t[2][w[0] & 0xff];
            ++t[3][(w[1] >> 16) & 0xff];
            ++t[4][(w[1] >> 8) & 0xff];
            ++t[5][w[1] & 0xff];
        }
        if (x < width) {
            std::uint32_t w;
            std::memcpy(&w, p + 4 * x, sizeof w);
            ++t[0][(w >> 16) & 0xff];
            ++t[1][(w >> 8) & 0xff];
            ++t[2][w & 0xff];
        }
    }

    // Adds the tables into counts (red, green, blue; or gray in channel 0) and clears them.
    void flushInto(Counts& counts, bool color)
    {
        for (int v = 0; v < 256; ++v) {
            if (color) {
                for (int c = 0; c < 3; ++c)
                    counts[std::size_t(c)][std::size_t(v)] += t[c][v] + t[c + 3][v];
            } else {
                counts[0][std::size_t(v)] += std::uint64_t{t[0][v]} + t[1][v] + t[2][v] + t[3][v];
            }
        }
        clear();
    }
};

}  // namespace

std::uint64_t QynHistogram::peak() const
{
    std::uint64_t most = 0;
    for (int c = 0; c < channelCount(); ++c)
        most = std::max(most, *std::max_element(counts[std::size_t(c)].begin(), counts[std::size_t(c)].end()));
    return most;
}

QynHistogram QynHistogram::of(const QynPixelBuffer& pixels, QRect region, QynRowPool* pool)
{
    QynHistogram histogram;
    histogram.region = QynRegionStats::clipped(pixels, region);
    histogram.color = pixels.format() == QynPixelFormat::Color32;
    const QRect r = histogram.region;
    if (r.isEmpty())
        return histogram;
    histogram.pixels = std::uint64_t(r.width()) * std::uint64_t(r.height());
    const int bytesPerPixel = qynBytesPerPixel(pixels.format());
    const std::ptrdiff_t left = std::ptrdiff_t{r.x()} * bytesPerPixel;
    const bool color = histogram.color;
    std::mutex merging;
    const auto part = [&](std::ptrdiff_t begin, std::ptrdiff_t end) {
        Tables tables;
        tables.clear();
        Counts counts{};
        for (std::ptrdiff_t y = begin; y < end; ++y) {
            const std::uint8_t* row = pixels.row(static_cast<int>(r.y() + y)) + left;
            if (color)
                tables.colorRow(row, r.width());
            else
                tables.grayRow(row, r.width());
            if ((y - begin + 1) % RowsPerFlush == 0)
                tables.flushInto(counts, color);
        }
        tables.flushInto(counts, color);
        const std::lock_guard lock(merging);
        for (std::size_t c = 0; c < 3; ++c)
            for (std::size_t v = 0; v < 256; ++v)
                histogram.counts[c][v] += counts[c][v];
    };
    const std::ptrdiff_t rows = r.height();
    // The threads pay off at fewer bytes than a copy's: counting is slower than moving.
    const int parts = pool ? QynRowPool::partsFor(std::size_t(histogram.pixels) * 4 * std::size_t(bytesPerPixel), pool->threads())
                           : 1;
    if (parts > 1)
        pool->forRows(rows, parts, part);
    else
        part(0, rows);
    return histogram;
}
