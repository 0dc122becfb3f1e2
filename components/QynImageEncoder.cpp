#include "QynImageEncoder.h"

#include "QynBmpEncoder.h"
#include "QynFileAccess.h"

#include <QBuffer>
#include <QFileInfo>
#include <QImage>
#include <QImageWriter>
#include <QSaveFile>

#include <new>

namespace {

// Encodes in memory first: Qt's PNG writer leaks its row table when a write fails
// inside libpng, and a full disk should cost nothing but the code.
bool writeWithQt(QIODevice& device, const QynPixelBuffer& pixels, const QByteArray& format)
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
        return false;
    return device.write(encoded) == encoded.size();
}

}  // namespace

QByteArray QynImageEncoder::formatFor(const QString& path)
{
    const QByteArray suffix = QFileInfo(path).suffix().toLower().toLatin1();
    if (suffix.isEmpty() || suffix == "bmp" || suffix == "dib")
        return "bmp";
    return QImageWriter::supportedImageFormats().contains(suffix) ? suffix : QByteArray("bmp");
}

std::int32_t QynImageEncoder::write(const QString& path, const QynPixelBuffer& pixels)
{
    const QByteArray format = formatFor(path);
    QSaveFile file(path);
    file.setDirectWriteFallback(false);
    if (!file.open(QIODevice::WriteOnly))
        return QynFileAccess::CannotWrite;
    const bool written = format == "bmp" ? QynBmpEncoder::write(file, pixels)
                                         : writeWithQt(file, pixels, format);
    if (!written)
        return QynFileAccess::CannotWrite;  // the uncommitted temporary file goes with `file`
    return file.commit() ? QynFileAccess::Success : QynFileAccess::CannotWrite;
}
