#include "QynFileAccess.h"

#include "QynArgs.h"
#include "QynBmpDecoder.h"
#include "QynBmpProbe.h"
#include "QynHugePages.h"
#include "QynImage.h"
#include "QynImageDecoder.h"
#include "QynImageEncoder.h"
#include "QynNativePath.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <memory>
#include <new>
#include <vector>

namespace {
constexpr qint64 HeadBytes = 64 * 1024;
}

QynFileAccess::QynFileAccess(const QynStoredSettings& settings)
{
    if (!settings.empty())
        if (const auto* path = std::get_if<QString>(&settings[0]))
            filePath_ = *path;
}

QynCallResult QynFileAccess::invoke(std::int32_t dispId, QynCallKind kind,
                                    std::span<const QynVariant> args) noexcept
{
    if (dispId == FilePath) {
        if (kind == QynCallKind::PropertyGet)
            return args.empty() ? QynCallResult{QynStatus::Ok, filePath_}
                                : QynCallResult{QynStatus::BadArgCount, {}};
        if (kind != QynCallKind::PropertyPut)
            return {QynStatus::UnknownMember, {}};
        QynArgs in(args, 1);
        QString path = in.string(0);
        if (!in.ok())
            return {in.status(), {}};
        filePath_ = std::move(path);
        return {};
    }
    if (kind != QynCallKind::Method)
        return {QynStatus::UnknownMember, {}};
    switch (dispId) {
    case GetLastResult: {
        QynArgs in(args, 1);
        std::int32_t* out = in.int32Out(0);
        if (!in.ok())
            return {in.status(), {}};
        *out = lastResult_;
        return {};
    }
    case SaveImage:
    case LoadImage: {
        QynArgs in(args, 1);
        QynImage* slot = in.image(0);
        if (!in.ok()) {
            lastResult_ = BadArgument;
            return {in.status(), {}};
        }
        lastReason_.clear();
        lastResult_ = dispId == LoadImage ? loadFile(filePath_, *slot, &lastReason_)
                                          : saveFile(filePath_, *slot, &lastReason_);
        return {};
    }
    default: return {QynStatus::UnknownMember, {}};
    }
}

std::int32_t QynFileAccess::loadFile(const QString& path, QynImage& slot, QString* why) noexcept
{
    try {
        if (why)
            why->clear();
        if (path.isEmpty())
            return NoPath;
        // Only a regular file is opened (opening a device can do something), without
        // waiting, and checked again once open, so what is read is what was checked.
        const QByteArray native = qynPathToNative(path);
        struct stat st {};
        if (::stat(native.constData(), &st) != 0)
            return errno == ENOENT || errno == ENOTDIR ? FileNotFound : NotReadable;  // a link loop: unreadable
        if (!S_ISREG(st.st_mode))  // a folder, a device or a pipe, which could block the read
            return NotReadable;
        const int fd = ::open(native.constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
        if (fd < 0)
            return errno == ENOENT ? FileNotFound : NotReadable;
        QFile file;
        if (!file.open(fd, QIODevice::ReadOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle)) {
            ::close(fd);
            return NotReadable;
        }
        if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || ::fcntl(fd, F_SETFL, 0) != 0)
            return NotReadable;
        const qint64 fileSize = file.size();
        if (fileSize <= 0)
            return NotAnImage;
        // The header first: a file far larger than the image it describes is refused
        // before anything of its size is allocated or read.
        std::vector<std::uint8_t> head(static_cast<std::size_t>(std::min<qint64>(fileSize, HeadBytes)));
        const qint64 headRead = file.read(reinterpret_cast<char*>(head.data()), static_cast<qint64>(head.size()));
        if (headRead < 0)
            return NotReadable;
        head.resize(static_cast<std::size_t>(headRead));
        if (const std::int32_t code = QynImageDecoder::screen(head, static_cast<std::uint64_t>(fileSize), &file, why);
            code != Success) {
            if (why && why->isEmpty() && code == NotAnImage)
                *why = QynImageDecoder::refusalByName(path);
            return code;
        }
        // A small file is all in the head already.
        if (static_cast<qint64>(head.size()) == fileSize)
            return loadBytes(head, slot, why);
        // An uncompressed BMP goes from the file into the slot a chunk of rows at a
        // time: no copy of the whole file, and for the largest images 201 MB less memory.
        // The head holds its headers and palette when it holds all it could.
        QynBmpInfo bmp;
        if (QynBmpProbe::looksLikeBmp(head) && head.size() == static_cast<std::size_t>(std::min(fileSize, HeadBytes))
            && QynBmpProbe::probe(head, static_cast<std::uint64_t>(fileSize), bmp) == Success
            && (bmp.encoding == QynBmpInfo::Encoding::Rgb || bmp.encoding == QynBmpInfo::Encoding::BitFields)) {
            std::shared_ptr<QynPixelBuffer> pixels;
            const std::int32_t code = QynBmpDecoder::decode(file, bmp, pixels);
            if (code == Success)
                slot.assign(std::move(pixels));  // only a complete image replaces the slot's
            return code;
        }
        if (!file.seek(0))
            return NotReadable;
        // Read, not mapped: a mapped file that another program cuts short, or whose disk
        // fails, kills the process with SIGBUS at the first byte it can no longer give,
        // where a read just ends early or fails. Huge pages keep the copy cheap.
        // Huge pages for a file of at least one: a smaller one would get a whole page
        // cleared for it.
        const auto size = static_cast<std::size_t>(fileSize);
        const bool huge = size >= QynHugePageBytes;
        const std::size_t capacity = huge ? (size + QynHugePageBytes - 1) & ~(QynHugePageBytes - 1) : size;
        const std::unique_ptr<std::uint8_t, decltype(&std::free)> buffer(
            static_cast<std::uint8_t*>(huge ? std::aligned_alloc(QynHugePageBytes, capacity) : std::malloc(capacity)),
            &std::free);
        if (!buffer)
            return TooLarge;
        if (huge)
            qynAdviseHugePages(buffer.get(), capacity);
        std::size_t done = 0;
        while (done < size) {  // a file that shrinks meanwhile ends early: a short file
            const qint64 got = file.read(reinterpret_cast<char*>(buffer.get()) + done,
                                         static_cast<qint64>(size - done));
            if (got < 0)
                return NotReadable;
            if (got == 0)
                break;
            done += static_cast<std::size_t>(got);
        }
        if (done == 0)
            return NotAnImage;
        return loadBytes({buffer.get(), done}, slot, why);
    } catch (const std::bad_alloc&) {
        return TooLarge;
    } catch (...) {
        return NotReadable;
    }
}

std::int32_t QynFileAccess::loadBytes(std::span<const std::uint8_t> bytes, QynImage& slot, QString* why) noexcept
{
    try {
        std::shared_ptr<QynPixelBuffer> pixels;
        const std::int32_t code = QynImageDecoder::decode(bytes, pixels, why);
        if (code == Success)
            slot.assign(std::move(pixels));  // only a complete image replaces the slot's
        return code;
    } catch (const std::bad_alloc&) {
        return TooLarge;
    } catch (...) {
        return NotAnImage;
    }
}

std::int32_t QynFileAccess::saveFile(const QString& path, const QynImage& slot, QString* why) noexcept
{
    const QynImage* one = &slot;
    return saveFiles(std::span<const QString>(&path, 1), std::span<const QynImage* const>(&one, 1), why);
}

std::int32_t QynFileAccess::saveFiles(std::span<const QString> paths, std::span<const QynImage* const> images,
                                      QString* why, qsizetype* failed) noexcept
{
    try {
        if (why)
            why->clear();
        if (failed)
            *failed = 0;
        // The slots' pixels as they are now, kept alive while they are written.
        std::vector<std::shared_ptr<const QynPixelBuffer>> pixels;
        std::vector<const QynPixelBuffer*> buffers;
        for (std::size_t i = 0; i < paths.size(); ++i) {
            if (failed)
                *failed = static_cast<qsizetype>(i);
            if (paths[i].isEmpty())
                return NoPath;
            pixels.push_back(images[i]->sharedPixels());
            if (!pixels.back())
                return NothingToSave;
            buffers.push_back(pixels.back().get());
        }
        return QynImageEncoder::writeAll(paths, buffers, why, failed);
    } catch (const std::bad_alloc&) {
        return TooLarge;
    } catch (...) {
        return CannotWrite;
    }
}

std::int32_t QynFileAccess::checkSavePaths(std::span<const QString> paths, QString* why, qsizetype* failed) noexcept
{
    try {
        return QynImageEncoder::checkAll(paths, why, failed);
    } catch (...) {
        return CannotWrite;
    }
}

QString QynFileAccess::resultText(std::int32_t code)
{
    switch (code) {
    case Success: return QStringLiteral("no error");
    case NoPath: return QStringLiteral("no file name given");
    case FileNotFound: return QStringLiteral("file not found");
    case NotReadable: return QStringLiteral("not a readable file (a folder, device, pipe, link loop or no permission)");
    case NotAnImage: return QStringLiteral("not an image, corrupt or unsupported");
    case Truncated: return QStringLiteral("the file is cut short");
    case TooLarge: return QStringLiteral("the image is too large");
    case NothingToSave: return QStringLiteral("no image to save");
    case CannotWrite: return QStringLiteral("cannot write the file");
    case BadArgument: return QStringLiteral("bad argument");
    default: return QStringLiteral("unknown result");
    }
}
