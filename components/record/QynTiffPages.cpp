#include "QynTiffPages.h"

#include "QynFdDevice.h"
#include "QynNativePath.h"

#include <tiffio.h>

#include <array>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {

int keepLibraryError(TIFF*, void* text, const char*, const char* format, va_list args)
{
    std::array<char, 256> line{};
    std::vsnprintf(line.data(), line.size(), format, args);
    *static_cast<QString*>(text) = QString::fromLocal8Bit(line.data());
    return 1;  // handled: nothing on standard error
}

bool readAt(int fd, std::int64_t at, void* to, std::size_t size)
{
    return ::pread(fd, to, size, at) == static_cast<ssize_t>(size);
}

// Ends the directory chain of a file cut back to `size` bytes at the last directory that
// lies whole inside it: the link that pointed past it becomes 0. The file is in this
// machine's byte order (libtiff writes it so).
bool endChainWithin(int fd, std::int64_t size, bool big)
{
    const std::int64_t linkBytes = big ? 8 : 4;
    const std::int64_t countBytes = big ? 8 : 2;
    const std::int64_t entryBytes = big ? 20 : 12;
    std::int64_t link = big ? 8 : 4;  // where the first directory's offset is kept
    for (int guard = 0; guard < (1 << 30); ++guard) {
        std::uint64_t offset = 0;
        if (big ? !readAt(fd, link, &offset, 8) : !readAt(fd, link, &offset, 4))
            return false;
        if (offset == 0)
            return true;
        std::uint64_t count = 0;
        bool whole = offset + static_cast<std::uint64_t>(countBytes) <= static_cast<std::uint64_t>(size)
            && (big ? readAt(fd, static_cast<std::int64_t>(offset), &count, 8)
                    : readAt(fd, static_cast<std::int64_t>(offset), &count, 2));
        const std::uint64_t end = offset + static_cast<std::uint64_t>(countBytes)
            + count * static_cast<std::uint64_t>(entryBytes) + static_cast<std::uint64_t>(linkBytes);
        whole = whole && end <= static_cast<std::uint64_t>(size);
        if (!whole) {
            const std::uint64_t zero = 0;
            return ::pwrite(fd, &zero, static_cast<std::size_t>(linkBytes), link) == linkBytes;
        }
        link = static_cast<std::int64_t>(end) - linkBytes;
    }
    return false;
}

}  // namespace

QynTiffPages::~QynTiffPages()
{
    close();
}

QString QynTiffPages::create(const QString& path)
{
    path_ = path;
    // Read and write: libtiff reads the directory before a new one to link it.
    fd_ = ::open(qynPathToNative(path).constData(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    return fd_ < 0 ? QStringLiteral("cannot create %1: %2").arg(path, QynFdDevice::reason(errno)) : QString();
}

QString QynTiffPages::fail(const QString& why)
{
    failed_ = true;
    if (tiff_)
        TIFFCleanup(tiff_);  // frees without writing what it holds
    tiff_ = nullptr;
    const QString text = QStringLiteral("cannot write page %1 of %2: %3").arg(pages_ + 1).arg(path_, why);
    const QString cut = cutBackToLastPage();
    return cut.isEmpty() ? text : text + QStringLiteral("; and cannot cut the file back: ") + cut;
}

QString QynTiffPages::cutBackToLastPage()
{
    if (::ftruncate(fd_, completeEnd_) != 0)
        return QynFdDevice::reason(errno);
    if (pages_ > 0 && !endChainWithin(fd_, completeEnd_, big_))
        return QStringLiteral("its directories cannot be read back");
    return {};
}

QString QynTiffPages::append(const QynPixelBuffer& pixels)
{
    if (fd_ < 0 || failed_)
        return QStringLiteral("%1 takes no more pages").arg(path_);
    errno = 0;
    if (!tiff_) {
        TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
        TIFFOpenOptionsSetErrorHandlerExtR(options, keepLibraryError, &libraryError_);
        TIFFOpenOptionsSetWarningHandlerExtR(options, keepLibraryError, &libraryError_);
        tiff_ = TIFFFdOpenExt(fd_, qynPathToNative(path_).constData(), big_ ? "w8" : "w", options);
        TIFFOpenOptionsFree(options);
        if (!tiff_)
            return fail(libraryError_);
    }
    const bool gray = pixels.format() == QynPixelFormat::Gray8;
    const auto width = static_cast<std::uint32_t>(pixels.width());
    const auto height = static_cast<std::uint32_t>(pixels.height());
    TIFFSetField(tiff_, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE);
    TIFFSetField(tiff_, TIFFTAG_IMAGEWIDTH, width);
    TIFFSetField(tiff_, TIFFTAG_IMAGELENGTH, height);
    TIFFSetField(tiff_, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tiff_, TIFFTAG_SAMPLESPERPIXEL, gray ? 1 : 3);
    TIFFSetField(tiff_, TIFFTAG_PHOTOMETRIC, gray ? PHOTOMETRIC_MINISBLACK : PHOTOMETRIC_RGB);
    TIFFSetField(tiff_, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tiff_, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
    TIFFSetField(tiff_, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
    TIFFSetField(tiff_, TIFFTAG_ROWSPERSTRIP, height);  // the page in one write
    const std::uint8_t* data = pixels.data();
    std::size_t bytes = pixels.byteCount();
    if (!gray) {
        // TIFF keeps R, G, B; the buffer holds B, G, R, X words.
        bytes = std::size_t{width} * height * 3;
        rgb_.resize(bytes);
        std::uint8_t* to = rgb_.data();
        for (std::uint32_t y = 0; y < height; ++y) {
            const std::uint8_t* from = pixels.row(static_cast<int>(y));
            for (std::uint32_t x = 0; x < width; ++x, from += 4, to += 3) {
                to[0] = from[2];
                to[1] = from[1];
                to[2] = from[0];
            }
        }
        data = rgb_.data();
    }
    // Uncompressed 8-bit samples are written as they are, never changed in place.
    if (TIFFWriteEncodedStrip(tiff_, 0, const_cast<std::uint8_t*>(data), static_cast<tmsize_t>(bytes)) < 0
        || !TIFFWriteDirectory(tiff_))
        return fail(errno != 0 ? QynFdDevice::reason(errno) : libraryError_);
    const off_t end = ::lseek(fd_, 0, SEEK_END);
    if (end < 0)
        return fail(QynFdDevice::reason(errno));
    completeEnd_ = end;
    ++pages_;
    return {};
}

QString QynTiffPages::close()
{
    if (fd_ < 0)
        return {};
    if (tiff_)
        TIFFCleanup(tiff_);  // every page's directory is written already
    tiff_ = nullptr;
    QString problem;
    if (pages_ == 0) {
        ::unlink(qynPathToNative(path_).constData());
    } else if (::fdatasync(fd_) != 0) {
        problem = QStringLiteral("cannot write %1: %2").arg(path_, QynFdDevice::reason(errno));
    }
    ::close(fd_);
    fd_ = -1;
    return problem;
}
