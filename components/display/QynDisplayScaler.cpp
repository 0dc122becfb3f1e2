#include "QynDisplayScaler.h"

#include "QynHugePages.h"
#include "QynRowPool.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

using QynDisplayKernels::WeightOne;

// Rounded quotient of a box sum by its pixel count without a division: with
// m = ceil(2^42 / count), ((sum + count / 2) * m) >> 42 is exact for every dividend
// below 256 x count (the error term stays below 1 / count while count^2 <= 2^34), and a
// box of at most MaxReductionFactor^2 pixels of 255 gives such dividends.
struct RoundedDivider {
    explicit RoundedDivider(std::uint32_t count)
        : half(count / 2), multiplier(((std::uint64_t{1} << 42) + count - 1) / count) {}
    std::uint32_t operator()(std::uint64_t sum) const
    {
        return static_cast<std::uint32_t>(((sum & 0xffffffffu) + half) * multiplier >> 42);
    }
    std::uint32_t half;
    std::uint64_t multiplier;
};

// Four 16-bit values a colour pixel (blue, green, red, X), read as one 64-bit word and
// spread to blue and red, green and X in 32-bit lanes of two words.
constexpr std::uint64_t Lanes = 0x0000ffff0000ffffu;

std::uint64_t pixelWord(const std::uint16_t* values)
{
    std::uint64_t word;
    std::memcpy(&word, values, sizeof word);
    return word;
}

QImage imageFor(QImage recycled, QSize size, QImage::Format format)
{
    if (recycled.size() == size && recycled.format() == format && recycled.isDetached())
        return recycled;
    recycled = QImage();  // its memory goes back before the new image takes more
    QImage image(size, format);
    // Not yet touched: a large copy (a zoomed view's 4096 x 4096 colour one is 64 MiB)
    // then costs one page fault every 2 MiB.
    if (!image.isNull())
        qynAdviseHugePages(image.bits(), std::size_t(image.sizeInBytes()));
    return image;
}

// The rows of an output image for the pool's threads: QImage::scanLine detaches, and
// counts doing so, on every call, so threads must not call it on one image at once.
// Made once, before the work is split.
struct OutputRows {
    explicit OutputRows(QImage& image) : bits(image.bits()), stride(image.bytesPerLine()), width(image.width()) {}
    std::uint8_t* row(int y) const { return bits + std::ptrdiff_t{y} * stride; }
    std::uint8_t* bits;
    qsizetype stride;
    int width;
};

// Runs work(begin, end, scratch) over [0, rows), split over the pool when `bytes` are
// worth it; each part has its own scratch of scratchLength values, made before the work
// starts, since work run by the pool must not throw.
template <class Value, class Work>
void forRowsWithScratch(QynRowPool* pool, int rows, std::size_t bytes, std::size_t scratchLength,
                        const Work& work)
{
    const int parts = pool && rows > 1 ? QynRowPool::partsFor(bytes, pool->threads()) : 1;
    scratchLength = (scratchLength + 63) / 64 * 64;  // parts a cache line apart at least
    std::vector<Value> scratch(scratchLength * std::size_t(parts));
    if (parts == 1) {
        work(0, rows, scratch.data());
        return;
    }
    std::atomic<int> nextPart{0};
    pool->forRows(rows, parts, [&](std::ptrdiff_t begin, std::ptrdiff_t end) {
        work(begin, end, scratch.data() + scratchLength * std::size_t(nextPart++));
    });
}

// One output row of the box reduction: the vector kernel adds the box's source rows into
// one 16-bit sum per byte of a row (so the source is read once, in memory order), then
// the box sums along the row (in vectors too for boxes up to MaxBoxSumFactor wide) are
// divided. `scratch` holds two rows of 16-bit values.
void reduceRow(const QynPixelBuffer& in, int factor, int oy, std::uint16_t* scratch, const OutputRows& out,
               int columnFirst, int columnEnd)
{
    const bool gray = in.format() == QynPixelFormat::Gray8;
    const int step = gray ? 1 : 4;
    const int y0 = oy * factor;
    const int rows = std::min(in.height() - y0, factor);
    std::uint16_t* column = scratch;
    std::uint16_t* sums = scratch + std::ptrdiff_t{in.width()} * step;
    // Output columns [columnFirst, columnEnd): their boxes start at a multiple of factor,
    // so a row made in parts has the bytes of a row made whole.
    const int x0 = columnFirst * factor;
    const int inWidth = std::min(in.width() - x0, (columnEnd - columnFirst) * factor);
    const std::ptrdiff_t skip = std::ptrdiff_t{x0} * step;
    QynDisplayKernels::sumRows(in.row(y0) + skip, in.stride(), rows, std::ptrdiff_t{inWidth} * step, column);
    const int outWidth = columnEnd - columnFirst;
    const int lastWidth = inWidth - (outWidth - 1) * factor;
    const RoundedDivider full(std::uint32_t(factor) * std::uint32_t(rows));
    const RoundedDivider last(std::uint32_t(lastWidth) * std::uint32_t(rows));
    std::uint8_t* d = out.row(oy) + std::ptrdiff_t{columnFirst} * (gray ? 1 : 4);
    auto* words = reinterpret_cast<std::uint32_t*>(d);
    int ox = 0;
    if (factor <= QynDisplayKernels::MaxBoxSumFactor && outWidth > 1) {
        // The sums of the whole boxes, picked from their starts into the column sums'
        // place and divided in vectors.
        // Up to the last whole box's start: the sums read no further than its end.
        QynDisplayKernels::boxSums(column, step, factor,
                                   (std::ptrdiff_t{outWidth - 2} * factor + 1) * step, sums);
        ox = outWidth - 1;
        // A copy of one known size, so that it stays a move of one register.
        if (gray) {
            for (int box = 0; box < ox; ++box)
                column[box] = sums[std::ptrdiff_t{box} * factor];
        } else {
            for (int box = 0; box < ox; ++box)
                std::memcpy(column + std::ptrdiff_t{box} * 4, sums + std::ptrdiff_t{box} * factor * 4, 4 * sizeof *sums);
        }
        QynDisplayKernels::divideSums(column, std::uint32_t(factor) * std::uint32_t(rows),
                                      std::ptrdiff_t{ox} * step, !gray, d);
    }
    for (; ox < outWidth; ++ox) {
        const bool inside = ox + 1 < outWidth;
        const int n = inside ? factor : lastWidth;
        const RoundedDivider& divide = inside ? full : last;
        if (gray) {
            const std::uint16_t* s = column + std::ptrdiff_t{ox} * factor;
            std::uint32_t sum = 0;
            for (int x = 0; x < n; ++x)
                sum += s[x];
            d[ox] = static_cast<std::uint8_t>(divide(sum));
            continue;
        }
        const std::uint16_t* s = column + std::ptrdiff_t{ox} * factor * 4;
        std::uint64_t blueRed = 0, green = 0;
        for (int x = 0; x < n; ++x, s += 4) {
            const std::uint64_t w = pixelWord(s);
            blueRed += w & Lanes;
            green += (w >> 16) & Lanes;
        }
        words[ox] = 0xff000000u | divide(blueRed >> 32) << 16 | divide(green) << 8
            | divide(blueRed);
    }
}

// Where the output pixels of one axis take their source pixels from: `count` pixels
// from `first[o]`, weighed by the `count` weights from weights[o * count], in 256ths
// that add up to 256 (some of them 0 where an output pixel needs fewer).
struct Taps {
    std::vector<int> first;
    std::vector<std::uint16_t> weights;
    int count = 0;
};

Taps tapsFor(int from, int to)
{
    Taps taps;
    const double ratio = double(from) / to;
    taps.count = std::min(from, ratio > 1 ? static_cast<int>(std::ceil(ratio)) + 1 : 2);
    taps.first.resize(std::size_t(to));
    taps.weights.assign(std::size_t(to) * std::size_t(taps.count), 0);
    std::vector<double> share(std::size_t(taps.count) + 1);
    for (int o = 0; o < to; ++o) {
        int x0 = 0, n = 1;
        std::fill(share.begin(), share.end(), 0.0);
        if (ratio > 1) {  // the area the output pixel covers
            const double a = o * ratio, b = std::min(double(from), (o + 1) * ratio);
            x0 = std::min(static_cast<int>(a), from - 1);
            n = std::clamp(static_cast<int>(std::ceil(b)) - x0, 1, taps.count);
            for (int t = 0; t < n; ++t)
                share[std::size_t(t)] = std::max(0.0, std::min(b, x0 + t + 1.0) - std::max(a, double(x0 + t)));
        } else {  // between the two nearest source pixels
            const double centre = std::max(0.0, (o + 0.5) * ratio - 0.5);
            x0 = std::min(static_cast<int>(centre), from - 1);
            const double f = centre - x0;
            n = x0 + 1 < from && f > 0 ? 2 : 1;
            share[0] = 1 - f;
            share[1] = n == 2 ? f : 0.0;
        }
        // Every output pixel takes `count` pixels, starting early enough near the end.
        const int first = std::min(x0, from - taps.count);
        // Rounded running sums keep every weight at 0 or more and their total at 256.
        double total = 0;
        for (int t = 0; t < n; ++t)
            total += share[std::size_t(t)];
        double before = 0;
        long previous = 0;
        std::uint16_t* w = taps.weights.data() + std::ptrdiff_t{o} * taps.count + (x0 - first);
        for (int t = 0; t < n; ++t) {
            before += share[std::size_t(t)];
            const long upTo = t + 1 == n || total <= 0 ? WeightOne : std::lround(before / total * WeightOne);
            w[t] = static_cast<std::uint16_t>(upTo - previous);
            previous = upTo;
        }
        taps.first[std::size_t(o)] = first;
    }
    return taps;
}

// The horizontal weights laid out as weighColumns reads them: tap by tap, one a byte
// of the output row (the same for the four bytes of a colour pixel).
std::vector<std::uint16_t> columnWeights(const Taps& across, int bytesPerPixel)
{
    const std::size_t width = across.first.size();
    const std::size_t count = width * std::size_t(bytesPerPixel);
    std::vector<std::uint16_t> weights(count * std::size_t(across.count));
    for (int t = 0; t < across.count; ++t)
        for (std::size_t o = 0; o < width; ++o)
            std::fill_n(weights.begin() + std::ptrdiff_t(std::size_t(t) * count + o * std::size_t(bytesPerPixel)),
                        bytesPerPixel, across.weights[o * std::size_t(across.count) + std::size_t(t)]);
    return weights;
}

// One output row: the source rows weighed into one row of bytes by the vector kernel,
// then each output pixel's source pixels copied side by side, tap by tap (colour made
// opaque on the way), and weighed by the kernel.
void scaleRow(const QImage& source, const Taps& across, const std::vector<std::uint16_t>& weights,
              const Taps& down, int oy, std::uint8_t* scratch, const OutputRows& out)
{
    const bool gray = source.format() == QImage::Format_Grayscale8;
    const int bytesPerPixel = gray ? 1 : 4;
    std::uint8_t* row = scratch;
    std::uint8_t* tapped = scratch + std::ptrdiff_t{source.width()} * bytesPerPixel;
    QynDisplayKernels::weighRows(source.constScanLine(down.first[std::size_t(oy)]),
                                 source.bytesPerLine(),
                                 down.weights.data() + std::ptrdiff_t{oy} * down.count, down.count,
                                 std::ptrdiff_t{source.width()} * bytesPerPixel, row);
    const int width = out.width;
    const std::ptrdiff_t count = std::ptrdiff_t{width} * bytesPerPixel;
    for (int t = 0; t < across.count; ++t) {
        std::uint8_t* to = tapped + t * count;
        if (gray) {
            for (int ox = 0; ox < width; ++ox)
                to[ox] = row[across.first[std::size_t(ox)] + t];
            continue;
        }
        for (int ox = 0; ox < width; ++ox) {
            std::uint32_t word;
            std::memcpy(&word, row + 4 * std::ptrdiff_t{across.first[std::size_t(ox)] + t}, sizeof word);
            word |= 0xff000000u;
            std::memcpy(to + 4 * std::ptrdiff_t{ox}, &word, sizeof word);
        }
    }
    QynDisplayKernels::weighColumns(tapped, weights.data(), across.count, count, gray,
                                    out.row(oy));
}

// The first whole output pixel whose centre lies at or after `edge`.
int centresFrom(double edge)
{
    return static_cast<int>(std::ceil(edge - 0.5));
}

// For `count` output pixels from `first`, the source pixel under each centre, on an axis
// where the source starts at `origin` with `scale` output pixels a source pixel.
std::vector<int> nearestOf(int first, int count, double origin, double scale, int length)
{
    std::vector<int> nearest(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i)
        nearest[std::size_t(i)] = std::clamp(
            static_cast<int>(std::floor((first + i + 0.5 - origin) / scale)), 0, length - 1);
    return nearest;
}

// The rows of a nearest-neighbour view: opaque words, gray spread to all three. The
// columns' shuffles are made once a view; vector groups cover the row as far as each
// reads within it (a magnified view's all but its last few pixels), the rest goes one
// pixel at a time.
class RowSampler {
public:
    RowSampler(std::vector<int> columns, bool gray, int sourceWidth)
        : columns_(std::move(columns)), gray_(gray)
    {
        using QynDisplayKernels::SampledGroup;
        const int pixelBytes = gray ? 1 : 4;
        const std::ptrdiff_t rowBytes = std::ptrdiff_t{sourceWidth} * pixelBytes;
        const std::size_t groups = columns_.size() / SampledGroup;
        starts_.reserve(groups);
        shuffles_.reserve(groups * 16);
        for (std::size_t g = 0; g < groups; ++g) {
            const int* group = columns_.data() + g * SampledGroup;
            const std::ptrdiff_t start = std::ptrdiff_t{group[0]} * pixelBytes;
            if (start + 16 > rowBytes)
                break;
            std::uint8_t shuffle[16];
            bool fits = true;
            for (int k = 0; k < SampledGroup && fits; ++k) {
                const int from = (group[k] - group[0]) * pixelBytes;
                fits = from >= 0 && from + pixelBytes <= 16;
                for (int b = 0; b < 3 && fits; ++b)
                    shuffle[4 * k + b] = static_cast<std::uint8_t>(gray ? from : from + b);
                shuffle[4 * k + 3] = 0x80;
            }
            if (!fits)
                break;
            starts_.push_back(static_cast<std::int32_t>(start));
            shuffles_.insert(shuffles_.end(), shuffle, shuffle + 16);
        }
    }

    void operator()(const std::uint8_t* source, std::uint32_t* out) const
    {
        const std::size_t first = starts_.size() * QynDisplayKernels::SampledGroup;
        if (!starts_.empty())
            QynDisplayKernels::sampleRow(source, starts_.data(), shuffles_.data(),
                                         std::ptrdiff_t(starts_.size()), out);
        const std::size_t width = columns_.size();
        if (gray_) {
            for (std::size_t x = first; x < width; ++x)
                out[x] = 0xff000000u | source[columns_[x]] * 0x010101u;
            return;
        }
        for (std::size_t x = first; x < width; ++x) {
            std::uint32_t word;
            std::memcpy(&word, source + 4 * std::ptrdiff_t{columns_[x]}, sizeof word);
            out[x] = word | 0xff000000u;
        }
    }

private:
    std::vector<int> columns_;
    bool gray_;
    std::vector<std::int32_t> starts_;
    std::vector<std::uint8_t> shuffles_;
};

}  // namespace

namespace qyn {

int displayReduction(QSize size, QSize limit)
{
    if (size.isEmpty() || limit.isEmpty())
        return 1;
    return std::max({1, size.width() / limit.width(), size.height() / limit.height()});
}

QImage reducedImage(const QynPixelBuffer& pixels, int factor, QImage recycled)
{
    factor = std::clamp(factor, 1, MaxReductionFactor);
    return imageFor(std::move(recycled),
                    {(pixels.width() + factor - 1) / factor, (pixels.height() + factor - 1) / factor},
                    pixels.format() == QynPixelFormat::Gray8 ? QImage::Format_Grayscale8
                                                             : QImage::Format_RGB32);
}

void reduceRows(const QynPixelBuffer& pixels, int factor, QImage& out, int first, int end,
                QynRowPool* pool, int columnFirst, int columnEnd)
{
    factor = std::clamp(factor, 1, MaxReductionFactor);
    first = std::max(first, 0);
    end = std::min(end, out.height());
    columnFirst = std::max(columnFirst, 0);
    columnEnd = std::min(columnEnd, out.width());
    if (out.isNull() || first >= end || columnFirst >= columnEnd)
        return;
    const bool gray = pixels.format() == QynPixelFormat::Gray8;
    const std::size_t bytes = pixels.byteCount() / std::size_t(out.height()) * std::size_t(end - first)
        / std::size_t(out.width()) * std::size_t(columnEnd - columnFirst);
    const OutputRows rows(out);
    forRowsWithScratch<std::uint16_t>(pool, end - first, bytes,
                       2 * std::size_t(pixels.width()) * (gray ? 1 : 4),
                       [&](std::ptrdiff_t begin, std::ptrdiff_t stop, std::uint16_t* column) {
                           for (auto oy = static_cast<int>(first + begin); oy < first + stop; ++oy)
                               reduceRow(pixels, factor, oy, column, rows, columnFirst, columnEnd);
                       });
}

QImage reducedCopy(const QynPixelBuffer& pixels, int factor, QynRowPool* pool, QImage recycled)
{
    QImage out = reducedImage(pixels, factor, std::move(recycled));
    reduceRows(pixels, factor, out, 0, out.height(), pool);
    return out;
}

QImage scaledForDisplay(const QImage& source, QSize size, QynRowPool* pool, QImage recycled)
{
    if (source.isNull() || size.isEmpty())
        return {};
    if (source.format() != QImage::Format_Grayscale8 && source.format() != QImage::Format_RGB32)
        return scaledForDisplay(source.convertToFormat(QImage::Format_RGB32), size, pool,
                                std::move(recycled));
    QImage out = imageFor(std::move(recycled), size, QImage::Format_RGB32);
    if (out.isNull())
        return out;
    const bool gray = source.format() == QImage::Format_Grayscale8;
    const int bytesPerPixel = gray ? 1 : 4;
    const Taps across = tapsFor(source.width(), size.width());
    const Taps down = tapsFor(source.height(), size.height());
    const std::vector<std::uint16_t> weights = columnWeights(across, bytesPerPixel);
    const std::size_t scratch = std::size_t(source.width() + across.count * size.width())
        * std::size_t(bytesPerPixel);
    const OutputRows outRows(out);
    forRowsWithScratch<std::uint8_t>(
        pool, size.height(), std::size_t(source.sizeInBytes() + out.sizeInBytes()), scratch,
        [&](std::ptrdiff_t begin, std::ptrdiff_t end, std::uint8_t* rows) {
            for (auto oy = static_cast<int>(begin); oy < end; ++oy)
                scaleRow(source, across, weights, down, oy, rows, outRows);
        });
    return out;
}

QImage imageOf(const QynPixelBuffer& pixels)
{
    const std::uint8_t* data = pixels.data();
    return QImage(data, pixels.width(), pixels.height(), qsizetype(pixels.stride()),
                  pixels.format() == QynPixelFormat::Gray8 ? QImage::Format_Grayscale8
                                                           : QImage::Format_RGB32);
}

QImage sampledForDisplay(const QImage& source, QRectF placed, QRect visible, QynRowPool* pool,
                         QImage recycled)
{
    if (source.isNull() || placed.isEmpty())
        return {};
    if (source.format() != QImage::Format_Grayscale8 && source.format() != QImage::Format_RGB32)
        return sampledForDisplay(source.convertToFormat(QImage::Format_RGB32), placed, visible,
                                 pool, std::move(recycled));
    // Only the output pixels whose centres lie on the source.
    const QRect inside(QPoint(centresFrom(placed.left()), centresFrom(placed.top())),
                       QPoint(centresFrom(placed.right()) - 1, centresFrom(placed.bottom()) - 1));
    visible &= inside;
    if (visible.isEmpty())
        return {};
    QImage out = imageFor(std::move(recycled), visible.size(), QImage::Format_RGB32);
    if (out.isNull())
        return out;
    const RowSampler sampleRow(nearestOf(visible.left(), visible.width(), placed.left(),
                                         placed.width() / source.width(), source.width()),
                               source.format() == QImage::Format_Grayscale8, source.width());
    const std::vector<int> rows =
        nearestOf(visible.top(), visible.height(), placed.top(), placed.height() / source.height(),
                  source.height());
    const int parts = pool && out.height() > 1
        ? QynRowPool::partsFor(std::size_t(out.sizeInBytes()), pool->threads()) : 1;
    const OutputRows outRows(out);
    const auto work = [&](std::ptrdiff_t begin, std::ptrdiff_t end) {
        for (auto oy = static_cast<int>(begin); oy < end; ++oy) {
            auto* to = reinterpret_cast<std::uint32_t*>(outRows.row(oy));
            if (oy > begin && rows[std::size_t(oy)] == rows[std::size_t(oy) - 1]) {
                std::memcpy(to, outRows.row(oy - 1), std::size_t(outRows.stride));
                continue;
            }
            sampleRow(source.constScanLine(rows[std::size_t(oy)]), to);
        }
    };
    if (parts == 1)
        work(0, out.height());
    else
        pool->forRows(out.height(), parts, work);
    out.setOffset(visible.topLeft());
    return out;
}

QRect shownSourcePixels(QSize source, QRectF placed, QRect visible)
{
    if (source.isEmpty() || placed.isEmpty() || visible.isEmpty())
        return {};
    const auto span = [](double from, double to, double origin, double scale, int length) {
        const int first = std::clamp(static_cast<int>(std::floor((from - origin) / scale)), 0, length - 1);
        const int last = std::clamp(static_cast<int>(std::ceil((to - origin) / scale)), first + 1, length);
        return std::pair{first, last};
    };
    const auto [x0, x1] = span(visible.left(), visible.right() + 1.0, placed.left(),
                               placed.width() / source.width(), source.width());
    const auto [y0, y1] = span(visible.top(), visible.bottom() + 1.0, placed.top(),
                               placed.height() / source.height(), source.height());
    return QRect(QPoint(x0, y0), QPoint(x1 - 1, y1 - 1));
}

QImage averagedForDisplay(const QImage& source, QRectF placed, QRect visible, QynRowPool* pool,
                          QImage recycled)
{
    if (source.isNull() || placed.isEmpty() || visible.isEmpty())
        return {};
    const double sx = placed.width() / source.width(), sy = placed.height() / source.height();
    const QRect shown = shownSourcePixels(source.size(), placed, visible);
    const int x0 = shown.left(), x1 = shown.right() + 1, y0 = shown.top(), y1 = shown.bottom() + 1;
    const int bytesPerPixel = source.depth() / 8;
    const QImage part(source.constScanLine(y0) + std::ptrdiff_t{x0} * bytesPerPixel, x1 - x0,
                      y1 - y0, source.bytesPerLine(), source.format());
    const QPoint at(static_cast<int>(std::lround(placed.left() + x0 * sx)),
                    static_cast<int>(std::lround(placed.top() + y0 * sy)));
    const QPoint end(static_cast<int>(std::lround(placed.left() + x1 * sx)),
                     static_cast<int>(std::lround(placed.top() + y1 * sy)));
    const QSize size = QSize(end.x() - at.x(), end.y() - at.y()).expandedTo({1, 1});
    QImage out = scaledForDisplay(part, size, pool, std::move(recycled));
    out.setOffset(at);
    return out;
}

}  // namespace qyn
