#include "QynImageEncoder.h"

#include "QynAtomicFile.h"
#include "QynBmpEncoder.h"
#include "QynFdDevice.h"
#include "QynFileResult.h"
#include "QynJpegEncoder.h"
#include "QynPngEncoder.h"

#include <QBuffer>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>

#include <memory>
#include <new>
#include <set>
#include <vector>

namespace {

// Encodes in memory first: Qt's PNG writer leaks its row table when a write fails
// inside libpng, and a full disk should cost nothing but the code.
QString writeWithQt(QIODevice& device, const QynPixelBuffer& pixels, const QByteArray& format)
{
    const auto bytesPerLine = static_cast<qsizetype>(pixels.stride());
    QImage image;
    if (pixels.format() == QynPixelFormat::Gray8) {
        image = QImage(pixels.data(), pixels.width(), pixels.height(), bytesPerLine,
                       QImage::Format_Grayscale8);
    } else {
        // Our X byte is 0, which some writers would take for alpha: hand them plain RGB.
        image = QImage(pixels.data(), pixels.width(), pixels.height(), bytesPerLine,
                       QImage::Format_RGB32).convertToFormat(QImage::Format_RGB888);
    }
    if (image.isNull())
        throw std::bad_alloc();
    QByteArray encoded;
    QBuffer buffer(&encoded);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    if (!writer.write(image))
        return QStringLiteral("the %1 writer refused the image: %2")
            .arg(QString::fromLatin1(format), writer.errorString());
    // Some writers shrink what they cannot hold (icons) instead of failing.
    buffer.close();
    buffer.open(QIODevice::ReadOnly);
    const QSize written = QImageReader(&buffer, format).size();
    if (written.isValid() && written != image.size())
        return QStringLiteral("a %1 file cannot hold an image of %2 x %3 pixels")
            .arg(QString::fromLatin1(format))
            .arg(image.width())
            .arg(image.height());
    if (device.write(encoded) != encoded.size())
        return device.errorString();
    return {};
}

QString encode(int handle, const QString& path, const QynPixelBuffer& pixels)
{
    QynFdDevice device(handle);
    const QByteArray format = QynImageEncoder::formatFor(path);
    if (format == "jpg" || format == "jpeg")
        return QynJpegEncoder::write(device, pixels);
    if (format == "png")
        return QynPngEncoder::write(device, pixels);
    if (format != "bmp")
        return writeWithQt(device, pixels, format);
    if (!QynBmpEncoder::write(device, pixels))
        return device.failed() ? device.errorString() : QStringLiteral("the image is too large for a BMP file");
    return {};
}

}  // namespace

QByteArray QynImageEncoder::formatFor(const QString& path)
{
    const QByteArray suffix = QFileInfo(path).suffix().toLower().toLatin1();
    if (suffix == "jpg" || suffix == "jpeg" || suffix == "png" || suffix == "pgm" || suffix == "ppm")
        return suffix;
    if (suffix == "tif" || suffix == "tiff")
        return "tiff";
    return "bmp";
}

QString QynImageEncoder::refusal(const QString& path, const QynPixelBuffer& pixels)
{
    const QByteArray suffix = QFileInfo(path).suffix().toLower().toLatin1();
    const bool gray = pixels.format() == QynPixelFormat::Gray8;
    if (suffix == "pgm" && !gray)
        return QStringLiteral("a PGM file holds gray images only (a colour image goes into .ppm)");
    if (suffix == "ppm" && gray)
        return QStringLiteral("a PPM file would load as a colour image (a gray image goes into .pgm)");
    // Formats Qt writes but that shrink, lose or misstore what we give them, and those
    // it only reads, which would get a BMP under their name.
    if (formatFor(path) == "bmp" && suffix != "bmp" && suffix != "dib"
        && (QImageWriter::supportedImageFormats().contains(suffix)
            || QImageReader::supportedImageFormats().contains(suffix)))
        return QStringLiteral("%1 files are not written (only BMP, PNG, JPEG, TIFF, PGM and PPM are)")
            .arg(QString::fromLatin1(suffix.toUpper()));
    return {};
}

std::int32_t QynImageEncoder::checkAll(std::span<const QString> paths, QString* why, qsizetype* failed)
{
    std::set<QByteArray> identities;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        if (failed)
            *failed = static_cast<qsizetype>(i);
        QByteArray identity;
        if (const std::int32_t code = QynAtomicFile::check(paths[i], why, &identity))
            return code;
        if (!identities.insert(identity).second) {
            if (why)
                *why = QStringLiteral("the same file is named twice");
            return QynFileResult::CannotWrite;
        }
    }
    return QynFileResult::Success;
}

std::int32_t QynImageEncoder::writeAll(std::span<const QString> paths, std::span<const QynPixelBuffer* const> pixels,
                                       QString* why, qsizetype* failed)
{
    QString reason;
    qsizetype at = 0;
    const auto result = [&](std::int32_t code) {
        if (why)
            *why = reason;
        if (failed)
            *failed = at;
        return code;
    };
    if (const std::int32_t code = checkAll(paths, why, failed))
        return code;
    for (; at < static_cast<qsizetype>(paths.size()); ++at)
        if (reason = refusal(paths[static_cast<std::size_t>(at)], *pixels[static_cast<std::size_t>(at)]);
            !reason.isEmpty())
            return result(QynFileResult::CannotWrite);
    at = 0;
    std::vector<std::unique_ptr<QynAtomicFile>> files;
    std::vector<QynAtomicFile*> complete;
    for (; at < static_cast<qsizetype>(paths.size()); ++at) {
        const auto i = static_cast<std::size_t>(at);
        auto& file = *files.emplace_back(std::make_unique<QynAtomicFile>());
        if (file.open(paths[i]) != QynFileResult::Success) {
            reason = file.reason();
            return result(QynFileResult::CannotWrite);
        }
        reason = encode(file.handle(), paths[i], *pixels[i]);
        if (!reason.isEmpty())
            return result(QynFileResult::CannotWrite);
        if (file.complete() != QynFileResult::Success) {
            reason = file.reason();
            return result(QynFileResult::CannotWrite);
        }
        complete.push_back(&file);
    }
    if (QynAtomicFile::publish(complete, &at) != QynFileResult::Success) {
        reason = complete[static_cast<std::size_t>(at)]->reason();
        return result(QynFileResult::CannotWrite);
    }
    at = 0;
    return result(QynFileResult::Success);
}

std::int32_t QynImageEncoder::write(const QString& path, const QynPixelBuffer& pixels, QString* why)
{
    const QynPixelBuffer* buffer = &pixels;
    return writeAll(std::span<const QString>(&path, 1), std::span<const QynPixelBuffer* const>(&buffer, 1), why);
}
