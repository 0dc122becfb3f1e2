#include "QynPngEncoder.h"

#include "QynPixelPacking.h"

#include <QIODevice>

#include <png.h>

#include <csetjmp>
#include <new>
#include <vector>

namespace {

constexpr png_uint_32 DotsPerMetre = 3780;  // 96 dots an inch, what Qt's writer wrote

struct Job {
    QIODevice* device = nullptr;
    QString failure;
};

void writeBytes(png_structp png, png_bytep data, std::size_t count)
{
    auto* job = static_cast<Job*>(png_get_io_ptr(png));
    if (job->device->write(reinterpret_cast<const char*>(data), static_cast<qint64>(count))
        != static_cast<qint64>(count)) {
        job->failure = job->device->errorString();
        png_error(png, "write failed");
    }
}

void flush(png_structp) {}

[[noreturn]] void onError(png_structp png, png_const_charp message)
{
    auto* job = static_cast<Job*>(png_get_error_ptr(png));
    if (job->failure.isEmpty())
        job->failure = QStringLiteral("the PNG writer failed: %1").arg(QString::fromLatin1(message));
    png_longjmp(png, 1);
}

void onWarning(png_structp, png_const_charp) {}

// Every libpng call, behind the one setjmp: all state it changes lives in job, and the
// row buffer lives with the caller (a jump out of here runs no destructor).
void run(png_structp png, png_infop info, const QynPixelBuffer& pixels, std::vector<std::uint8_t>& row)
{
    if (setjmp(png_jmpbuf(png)))
        return;  // the job's failure says why
    const bool gray = pixels.format() == QynPixelFormat::Gray8;
    png_set_IHDR(png, info, static_cast<png_uint_32>(pixels.width()), static_cast<png_uint_32>(pixels.height()), 8,
                 gray ? PNG_COLOR_TYPE_GRAY : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_set_pHYs(png, info, DotsPerMetre, DotsPerMetre, PNG_RESOLUTION_METER);
    png_write_info(png, info);
    if (gray) {
        for (int y = 0; y < pixels.height(); ++y)
            png_write_row(png, pixels.row(y));
    } else {
        // The slot's words packed to B, G, R triples by the SIMD packing; libpng swaps them.
        png_set_bgr(png);
        for (int y = 0; y < pixels.height(); ++y) {
            QynPixelPacking::packBgr(pixels.row(y), row.data(), pixels.width());
            png_write_row(png, row.data());
        }
    }
    png_write_end(png, info);
}

}  // namespace

QString QynPngEncoder::write(QIODevice& device, const QynPixelBuffer& pixels)
{
    Job job;
    job.device = &device;
    std::vector<std::uint8_t> row(pixels.format() == QynPixelFormat::Gray8 ? 0 : std::size_t{3} * static_cast<std::size_t>(pixels.width()));
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &job, onError, onWarning);
    if (!png)
        throw std::bad_alloc();
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        throw std::bad_alloc();
    }
    png_set_write_fn(png, &job, writeBytes, flush);
    run(png, info, pixels, row);
    png_destroy_write_struct(&png, &info);
    return job.failure;
}
