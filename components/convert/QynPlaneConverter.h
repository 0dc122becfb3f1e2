#pragma once

#include "QynConvertReference.h"
#include "QynPlane.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

class QynRowPool;

// The four conversions on planes the caller owns, as the change component runs them on
// slots: the rows of a large image shared among threads, and a destination far larger
// than the caches written around them. Planes are as QynConvertKernels takes them (any
// row stride; each row's pixels contiguous) and the destinations must not overlap the
// sources. No checks: the caller has made them. One caller at a time.
class QynPlaneConverter {
public:
    QynPlaneConverter();
    ~QynPlaneConverter();
    QynPlaneConverter(const QynPlaneConverter&) = delete;
    QynPlaneConverter& operator=(const QynPlaneConverter&) = delete;

    // Threads that share one large conversion: 0 (the default) = one per core. Small
    // images always run on the calling thread alone. Counts above MaxThreads are taken
    // as MaxThreads.
    void setThreadCount(int threads);
    static constexpr int MaxThreads = 256;
    int threadCount() const { return threadCount_; }

    void compose(QynConstPlane red, QynConstPlane green, QynConstPlane blue, QynPlane color,
                 std::ptrdiff_t width, std::ptrdiff_t height);
    void decompose(QynConstPlane color, QynPlane red, QynPlane green, QynPlane blue,
                   std::ptrdiff_t width, std::ptrdiff_t height);
    void colorToGray(QynConstPlane color, QynPlane gray, std::ptrdiff_t width, std::ptrdiff_t height,
                     const QynGrayWeights& weights);
    // `table` has 256 entries.
    void grayToColor(QynConstPlane gray, QynPlane color, std::ptrdiff_t width, std::ptrdiff_t height,
                     const std::uint32_t* table);

private:
    using RowWork = std::function<void(std::ptrdiff_t begin, std::ptrdiff_t end)>;
    // Runs work over the rows, split across threads when the image is large enough.
    void forRows(std::ptrdiff_t rows, std::size_t bytesMoved, const RowWork& work);

    int threadCount_ = 0;
    std::unique_ptr<QynRowPool> pool_;
};
