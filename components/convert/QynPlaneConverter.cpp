#include "QynPlaneConverter.h"

#include "QynConvertKernels.h"
#include "QynRowPool.h"

#include <algorithm>
#include <system_error>

namespace {

using Stores = QynConvertKernels::Stores;

// Destinations larger than this go around the caches: they would not stay in L2 and
// would push the sources out of L3 (32 MiB shared here), and cached stores first read
// every destination line from memory.
constexpr std::size_t StreamingBytes = std::size_t{16} << 20;

Stores storesFor(std::size_t bytesWritten)
{
    return bytesWritten >= StreamingBytes ? Stores::Streaming : Stores::Cached;
}

// The plane from row `y` on.
QynConstPlane from(QynConstPlane plane, std::ptrdiff_t y)
{
    return {plane.row(y), plane.stride};
}

QynPlane from(QynPlane plane, std::ptrdiff_t y)
{
    return {plane.row(y), plane.stride};
}

}  // namespace

QynPlaneConverter::QynPlaneConverter() = default;

QynPlaneConverter::~QynPlaneConverter() = default;

void QynPlaneConverter::setThreadCount(int threads)
{
    threadCount_ = std::clamp(threads, 0, MaxThreads);
    pool_.reset();  // the next large job starts threads for the new count
}

void QynPlaneConverter::forRows(std::ptrdiff_t rows, std::size_t bytesMoved, const RowWork& work)
{
    const int threads = threadCount_ > 0 ? threadCount_ : QynRowPool::coreCount();
    const int parts = QynRowPool::partsFor(bytesMoved, threads);
    if (parts > 1 && rows > 1) {
        try {
            if (!pool_)
                pool_ = std::make_unique<QynRowPool>(threads);
            pool_->forRows(rows, parts, work);
            return;
        } catch (const std::system_error&) {
            pool_.reset();  // no threads to be had: do it alone
        }
    }
    work(0, rows);
}

void QynPlaneConverter::compose(QynConstPlane red, QynConstPlane green, QynConstPlane blue, QynPlane color,
                                std::ptrdiff_t width, std::ptrdiff_t height)
{
    const auto colorBytes = static_cast<std::size_t>(width * height * 4);
    const Stores stores = storesFor(colorBytes);
    forRows(height, colorBytes * 7 / 4, [&](std::ptrdiff_t begin, std::ptrdiff_t end) {
        QynConvertKernels::compose(from(red, begin), from(green, begin), from(blue, begin), from(color, begin),
                                   width, end - begin, stores);
    });
}

void QynPlaneConverter::decompose(QynConstPlane color, QynPlane red, QynPlane green, QynPlane blue,
                                  std::ptrdiff_t width, std::ptrdiff_t height)
{
    const auto planeBytes = static_cast<std::size_t>(width * height);
    const Stores stores = storesFor(3 * planeBytes);
    forRows(height, 7 * planeBytes, [&](std::ptrdiff_t begin, std::ptrdiff_t end) {
        QynConvertKernels::decompose(from(color, begin), from(red, begin), from(green, begin), from(blue, begin),
                                     width, end - begin, stores);
    });
}

void QynPlaneConverter::colorToGray(QynConstPlane color, QynPlane gray, std::ptrdiff_t width,
                                    std::ptrdiff_t height, const QynGrayWeights& weights)
{
    const auto grayBytes = static_cast<std::size_t>(width * height);
    const Stores stores = storesFor(grayBytes);
    forRows(height, 5 * grayBytes, [&](std::ptrdiff_t begin, std::ptrdiff_t end) {
        QynConvertKernels::colorToGray(from(color, begin), from(gray, begin), width, end - begin, weights, stores);
    });
}

void QynPlaneConverter::grayToColor(QynConstPlane gray, QynPlane color, std::ptrdiff_t width,
                                    std::ptrdiff_t height, const std::uint32_t* table)
{
    const auto colorBytes = static_cast<std::size_t>(width * height * 4);
    const Stores stores = storesFor(colorBytes);
    forRows(height, colorBytes * 5 / 4, [&](std::ptrdiff_t begin, std::ptrdiff_t end) {
        QynConvertKernels::grayToColor(from(gray, begin), from(color, begin), width, end - begin, table, stores);
    });
}
