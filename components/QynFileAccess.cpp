#include "QynFileAccess.h"

#include "QynArgs.h"
#include "QynHugePages.h"
#include "QynImage.h"
#include "QynImageDecoder.h"
#include "QynImageEncoder.h"

#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
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
        lastResult_ = dispId == LoadImage ? loadFile(filePath_, *slot) : saveFile(filePath_, *slot);
        return {};
    }
    default: return {QynStatus::UnknownMember, {}};
    }
}

std::int32_t QynFileAccess::loadFile(const QString& path, QynImage& slot) noexcept
{
    try {
        if (path.isEmpty())
            return NoPath;
        struct stat status {};
        if (::stat(QFile::encodeName(path).constData(), &status) != 0)  // a link loop is there, unreadable
            return errno == ENOENT || errno == ENOTDIR ? FileNotFound : NotReadable;
        if (!S_ISREG(status.st_mode))  // a folder, a device or a pipe, which could block the read
            return NotReadable;
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
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
        if (const std::int32_t code = QynImageDecoder::screen(head, static_cast<std::uint64_t>(fileSize), &file);
            code != Success)
            return code;
        if (!file.seek(0))
            return NotReadable;
        // Read, not mapped: a mapped file that another program cuts short, or whose disk
        // fails, kills the process with SIGBUS at the first byte it can no longer give,
        // where a read just ends early or fails. Huge pages keep the copy cheap.
        const auto size = static_cast<std::size_t>(fileSize);
        const std::size_t capacity = (size + QynHugePageBytes - 1) & ~(QynHugePageBytes - 1);
        const std::unique_ptr<std::uint8_t, decltype(&std::free)> buffer(
            static_cast<std::uint8_t*>(std::aligned_alloc(QynHugePageBytes, capacity)), &std::free);
        if (!buffer)
            return TooLarge;
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
        return loadBytes({buffer.get(), done}, slot);
    } catch (const std::bad_alloc&) {
        return TooLarge;
    } catch (...) {
        return NotReadable;
    }
}

std::int32_t QynFileAccess::loadBytes(std::span<const std::uint8_t> bytes, QynImage& slot) noexcept
{
    try {
        std::shared_ptr<QynPixelBuffer> pixels;
        const std::int32_t code = QynImageDecoder::decode(bytes, pixels);
        if (code == Success)
            slot.assign(std::move(pixels));  // only a complete image replaces the slot's
        return code;
    } catch (const std::bad_alloc&) {
        return TooLarge;
    } catch (...) {
        return NotAnImage;
    }
}

std::int32_t QynFileAccess::saveFile(const QString& path, const QynImage& slot) noexcept
{
    try {
        if (path.isEmpty())
            return NoPath;
        const std::shared_ptr<const QynPixelBuffer> pixels = slot.sharedPixels();
        if (!pixels)
            return NothingToSave;
        return QynImageEncoder::write(path, *pixels);
    } catch (const std::bad_alloc&) {
        return TooLarge;
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
