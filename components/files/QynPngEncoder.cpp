#include "QynPngEncoder.h"

#include <QIODevice>

#include <png.h>

#include <csetjmp>
#include <new>

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

// Every libpng call, behind the one setjmp: all state it changes lives in job.
void run(png_structp png, png_infop info, const QynPixelBuffer& pixels)
{
    if (setjmp(png_jmpbuf(png)))
        return;  // the job's failure says why
    const bool gray = pixels.format() == QynPixelFormat::Gray8;
    png_set_IHDR(png, info, static_cast<png_uint_32>(pixels.width()), static_cast<png_uint_32>(pixels.height()), 8,
                 gray ? PNG_COLOR_TYPE_GRAY : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_set_pHYs(png, info, DotsPerMetre, DotsPerMetre, PNG_RESOLUTION_METER);
    png_write_info(png, info);
    if (!gray) {
        png_set_bgr(png);
        png_set_filler(png, 0, PNG_FILLER_AFTER);  // on writing: the X byte is dropped
    }
    for (int y = 0; y < pixels.height(); ++y)
        png_write_row(png, pixels.row(y));
    png_write_end(png, info);
}

}  // namespace

QString QynPngEncoder::write(QIODevice& device, const QynPixelBuffer& pixels)
{
    Job job;
    job.device = &device;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &job, onError, onWarning);
    if (!png)
        throw std::bad_alloc();
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        throw std::bad_alloc();
    }
    png_set_write_fn(png, &job, writeBytes, flush);
    run(png, info, pixels);
    png_destroy_write_struct(&png, &info);
    return job.failure;
}
