// Loading and saving 8192 x 8192 colour and gray BMP files through QynFileAccess, against
// OpenCV's imread/imwrite and against a plain read or write of the same bytes. Files go
// to the folder given (default: the system temporary folder); the page cache holds them,
// so the numbers are decoding and copying, not the disk.
//
//   bench_files [folder] [repetitions, default 5]
#include "QynFileAccess.h"
#include "QynHugePages.h"
#include "QynImage.h"

#include <QDir>
#include <QFile>
#include <QSize>
#include <QTemporaryDir>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include "BenchFileIo.h"
#include "BenchTiming.h"

namespace {

constexpr int Side = 8192;

void fill(QynImage& slot, QynPixelFormat format, int width = Side, int height = Side)
{
    QynPixelBuffer& px = slot.prepareForWrite(width, height, format);
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = px.row(y);
        const std::size_t bytes = static_cast<std::size_t>(width) * qynBytesPerPixel(format);
        for (std::size_t i = 0; i < bytes; ++i)
            row[i] = format == QynPixelFormat::Color32 && i % 4 == 3 ? 0 : static_cast<std::uint8_t>(i * 7 + y);
    }
}

std::vector<char> plainRead(const QByteArray& path)
{
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    std::vector<char> bytes(static_cast<std::size_t>(::lseek(fd, 0, SEEK_END)));
    ::close(fd);
    plainReadInto(path, bytes.data(), bytes.size());
    return bytes;
}

void report(const char* what, const Timing& t, double megabytes)
{
    std::printf("  %-34s median %8.1f ms  min %8.1f ms  %7.0f MB/s\n", what, t.median, t.min,
                megabytes / (t.median / 1000.0));
}

// PNG and JPEG, where libpng and libjpeg-turbo do the coding for both sides: load and
// save times in one table, ours against OpenCV's, which loads our files and saves with
// our settings.
void compareCodecs(const QString& folder, int repetitions)
{
    std::printf("\n| size | file | slot | load ours | load cv::imread | save ours (synced) | save cv::imwrite |\n"
                "|---|---|---|---|---|---|---|\n");
    for (const QSize size : {QSize(640, 480), QSize(Side, Side)}) {
        const int runs = size.width() > 1000 ? std::max(1, repetitions / 2) : 10 * repetitions;
        for (const char* suffix : {"png", "jpg"}) {
            for (auto format : {QynPixelFormat::Gray8, QynPixelFormat::Color32}) {
                QynImage source;
                fill(source, format, size.width(), size.height());
                const QString ours = QDir(folder).filePath(QStringLiteral("bench-codec.%1").arg(suffix));
                const std::string theirs = QFile::encodeName(QDir(folder).filePath(QStringLiteral("cv-codec.%1").arg(suffix))).toStdString();
                const Timing save = timeIt(runs, [&] { QynFileAccess::saveFile(ours, source); });
                QynImage loaded;
                const Timing load = timeIt(runs, [&] { QynFileAccess::loadFile(ours, loaded); });
                cv::Mat mat;
                const std::string oursPath = QFile::encodeName(ours).toStdString();
                const Timing cvLoad = timeIt(runs, [&] { mat = cv::imread(oursPath, cv::IMREAD_UNCHANGED); });
                // OpenCV with the settings Qt's writers use for our saves (zlib's default
                // level 6 and filters; JPEG quality 75), so the coding costs the same.
                const std::vector<int> params = std::strcmp(suffix, "png") == 0
                    ? std::vector<int>{cv::IMWRITE_PNG_COMPRESSION, 6}
                    : std::vector<int>{cv::IMWRITE_JPEG_QUALITY, 75};
                const Timing cvSave = timeIt(runs, [&] { cv::imwrite(theirs, mat, params); });
                if (!loaded.pixels() || mat.empty()) {
                    std::fprintf(stderr, "a %s file did not load\n", suffix);
                    std::exit(1);
                }
                std::printf("| %d x %d | %s | %s | %.2f ms | %.2f ms | %.2f ms | %.2f ms |\n", size.width(),
                            size.height(), suffix, format == QynPixelFormat::Gray8 ? "gray" : "colour", load.median,
                            cvLoad.median, save.median, cvSave.median);
                QFile::remove(ours);
                QFile::remove(QString::fromStdString(theirs));
            }
        }
    }
}

}  // namespace

int main(int argc, char** argv)
{
    QTemporaryDir temporary;
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : temporary.path();
    const int repetitions = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    std::printf("bench_files: %d x %d, %d runs each, files in %s\n", Side, Side, repetitions,
                qPrintable(folder));

    for (auto format : {QynPixelFormat::Color32, QynPixelFormat::Gray8}) {
        const bool color = format == QynPixelFormat::Color32;
        QynImage source;
        fill(source, format);
        const QString ours = QDir(folder).filePath(color ? "bench-color.bmp" : "bench-gray.bmp");
        const QByteArray oursPath = QFile::encodeName(ours);
        const QByteArray cvPath = QFile::encodeName(QDir(folder).filePath(color ? "cv-color.bmp" : "cv-gray.bmp"));
        const QByteArray plainPath = QFile::encodeName(QDir(folder).filePath("plain.bmp"));
        if (QynFileAccess::saveFile(ours, source) != 0) {
            std::fprintf(stderr, "cannot write %s\n", oursPath.constData());
            return 1;
        }
        const std::vector<char> bytes = plainRead(oursPath);
        const double mb = static_cast<double>(bytes.size()) / 1e6;
        std::printf("%s BMP, %.0f MB file\n", color ? "colour 24-bit" : "gray 8-bit", mb);

        // Loading, and a check that what we load is what we saved.
        QynImage loaded;
        report("load QynFileAccess", timeIt(repetitions, [&] { QynFileAccess::loadFile(ours, loaded); }), mb);
        if (loaded.pixels() == nullptr
            || std::memcmp(loaded.pixels()->data(), source.pixels()->data(), source.pixels()->byteCount()) != 0) {
            std::fprintf(stderr, "loaded image differs from the saved one\n");
            return 1;
        }
        cv::Mat mat;
        report("load cv::imread", timeIt(repetitions, [&] { mat = cv::imread(oursPath.toStdString(), cv::IMREAD_UNCHANGED); }), mb);
        // The honest floor: memory already touched, the copy out of the page cache alone.
        std::vector<char> into(bytes.size(), 1);
        report("read the bytes (touched buffer)",
               timeIt(repetitions, [&] { plainReadInto(oursPath, into.data(), into.size()); }), mb);
        // The same on two threads, as a large load reads.
        report("  the same on two threads",
               timeIt(repetitions, [&] { plainReadInto(oursPath, into.data(), into.size(), 2); }), mb);
        // What a load into a new slot cannot avoid: new memory, whose pages the kernel
        // clears at the first touch (huge pages, as the slots ask for).
        report("read the bytes (new buffer)", timeIt(repetitions, [&] {
                   const std::size_t capacity = (bytes.size() + QynHugePageBytes - 1) & ~(QynHugePageBytes - 1);
                   auto* raw = static_cast<char*>(std::aligned_alloc(QynHugePageBytes, capacity));
                   qynAdviseHugePages(raw, capacity);
                   plainReadInto(oursPath, raw, bytes.size());
                   std::free(raw);
               }),
               mb);
        report("  the same on two threads", timeIt(repetitions, [&] {
                   const std::size_t capacity = (bytes.size() + QynHugePageBytes - 1) & ~(QynHugePageBytes - 1);
                   auto* raw = static_cast<char*>(std::aligned_alloc(QynHugePageBytes, capacity));
                   qynAdviseHugePages(raw, capacity);
                   plainReadInto(oursPath, raw, bytes.size(), 2);
                   std::free(raw);
               }),
               mb);

        // Saving: ours writes a temporary file, syncs it and renames it over the target.
        report("save QynFileAccess (synced)", timeIt(repetitions, [&] { QynFileAccess::saveFile(ours, source); }), mb);
        report("save cv::imwrite", timeIt(repetitions, [&] { cv::imwrite(cvPath.toStdString(), mat); }), mb);
        report("write the bytes", timeIt(repetitions, [&] { plainWrite(plainPath, bytes.data(), bytes.size(), false); }), mb);
        report("write the bytes + fsync", timeIt(repetitions, [&] { plainWrite(plainPath, bytes.data(), bytes.size(), true); }), mb);
        QFile::remove(QFile::decodeName(cvPath));
        QFile::remove(QFile::decodeName(plainPath));
        QFile::remove(ours);
    }
    compareCodecs(folder, repetitions);
    return 0;
}
