#include "QynFileAccess.h"

#include "QynArgs.h"
#include "QynImage.h"
#include "QynImageDecoder.h"
#include "QynImageEncoder.h"

#include <QFile>
#include <QFileInfo>

#include <new>

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
        const QFileInfo info(path);
        if (!info.exists())
            return FileNotFound;
        if (!info.isFile())  // a folder, a device or a pipe, which could block the read
            return NotReadable;
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return NotReadable;
        const qint64 size = file.size();
        if (size <= 0)
            return NotAnImage;
        // Mapped, the file's bytes are read once, straight into the slot's rows.
        if (uchar* mapped = file.map(0, size)) {
            const std::int32_t code = loadBytes({mapped, static_cast<std::size_t>(size)}, slot);
            file.unmap(mapped);
            return code;
        }
        const QByteArray bytes = file.readAll();
        if (file.error() != QFileDevice::NoError)
            return NotReadable;
        return loadBytes({reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                          static_cast<std::size_t>(bytes.size())},
                         slot);
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
    case NotReadable: return QStringLiteral("not a readable file");
    case NotAnImage: return QStringLiteral("not an image, corrupt or unsupported");
    case Truncated: return QStringLiteral("the file is cut short");
    case TooLarge: return QStringLiteral("the image is too large");
    case NothingToSave: return QStringLiteral("no image to save");
    case CannotWrite: return QStringLiteral("cannot write the file");
    case BadArgument: return QStringLiteral("bad argument");
    default: return QStringLiteral("unknown result");
    }
}
