#include "QynJpegEncoder.h"

#include <QIODevice>

#include <csetjmp>
#include <cstdio>  // jpeglib.h needs FILE
#include <new>
#include <vector>

#include <jerror.h>
#include <jpeglib.h>

namespace {

constexpr std::size_t ChunkBytes = std::size_t{1} << 20;
constexpr int DotsPerInch = 96;  // what Qt's writer wrote for the slots' images

struct Job {
    jpeg_error_mgr errors{};  // first: libjpeg's error pointer leads back to the job
    jpeg_destination_mgr destination{};
    std::jmp_buf jump{};
    QIODevice* device = nullptr;
    std::vector<JOCTET> chunk;
    QString failure;
};

Job& jobOf(j_common_ptr info)
{
    return *reinterpret_cast<Job*>(info->err);
}

[[noreturn]] void onErrorExit(j_common_ptr info)
{
    Job& job = jobOf(info);
    if (job.failure.isEmpty()) {
        char text[JMSG_LENGTH_MAX];
        info->err->format_message(info, text);
        job.failure = QStringLiteral("the JPEG writer failed: %1").arg(QString::fromLocal8Bit(text));
    }
    std::longjmp(job.jump, 1);
}

void onMessage(j_common_ptr, int) {}

bool writeOut(j_compress_ptr info, std::size_t bytes)
{
    Job& job = jobOf(reinterpret_cast<j_common_ptr>(info));
    if (job.device->write(reinterpret_cast<const char*>(job.chunk.data()), static_cast<qint64>(bytes))
        == static_cast<qint64>(bytes))
        return true;
    job.failure = job.device->errorString();
    return false;
}

void onStart(j_compress_ptr info)
{
    Job& job = jobOf(reinterpret_cast<j_common_ptr>(info));
    job.destination.next_output_byte = job.chunk.data();
    job.destination.free_in_buffer = job.chunk.size();
}

boolean onFull(j_compress_ptr info)
{
    Job& job = jobOf(reinterpret_cast<j_common_ptr>(info));
    if (!writeOut(info, job.chunk.size()))
        ERREXIT(info, JERR_FILE_WRITE);
    onStart(info);
    return TRUE;
}

void onEnd(j_compress_ptr info)
{
    Job& job = jobOf(reinterpret_cast<j_common_ptr>(info));
    if (!writeOut(info, job.chunk.size() - job.destination.free_in_buffer))
        ERREXIT(info, JERR_FILE_WRITE);
}

// Every libjpeg call, behind the one setjmp: all state it changes lives in job.
void run(jpeg_compress_struct& info, const QynPixelBuffer& pixels, Job& job)
{
    if (setjmp(job.jump))
        return;  // job.failure says why
    jpeg_create_compress(&info);
    info.dest = &job.destination;
    info.image_width = static_cast<JDIMENSION>(pixels.width());
    info.image_height = static_cast<JDIMENSION>(pixels.height());
    const bool gray = pixels.format() == QynPixelFormat::Gray8;
    info.input_components = gray ? 1 : 4;
    info.in_color_space = gray ? JCS_GRAYSCALE : JCS_EXT_BGRX;
    jpeg_set_defaults(&info);
    info.density_unit = 1;  // dots an inch
    info.X_density = DotsPerInch;
    info.Y_density = DotsPerInch;
    jpeg_set_quality(&info, 75, TRUE);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(pixels.row(static_cast<int>(info.next_scanline)));
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
}

}  // namespace

QString QynJpegEncoder::write(QIODevice& device, const QynPixelBuffer& pixels)
{
    Job job;
    job.device = &device;
    job.chunk.resize(ChunkBytes);
    job.destination.init_destination = onStart;
    job.destination.empty_output_buffer = onFull;
    job.destination.term_destination = onEnd;
    jpeg_compress_struct info{};
    info.err = jpeg_std_error(&job.errors);
    job.errors.error_exit = onErrorExit;
    job.errors.emit_message = onMessage;
    run(info, pixels, job);
    jpeg_destroy_compress(&info);
    if (job.failure.isEmpty() && info.next_scanline < info.image_height)
        job.failure = QStringLiteral("the JPEG writer stopped early");
    return job.failure;
}
