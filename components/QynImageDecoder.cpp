#include "QynImageDecoder.h"

#include "QynBmpDecoder.h"
#include "QynFileAccess.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageReader>

#include <algorithm>
#include <array>
#include <cstring>
#include <new>

namespace {

// QImageReader counts four bytes a pixel whatever the format; allow our largest image.
constexpr int AllocationLimitMb =
    static_cast<int>(std::int64_t{QynFileAccess::MaxSide} * QynFileAccess::MaxSide * 4 / (1024 * 1024));

bool isJpeg(std::span<const std::uint8_t> bytes)
{
    return bytes.size() >= 3 && bytes[0] == 0xff && bytes[1] == 0xd8 && bytes[2] == 0xff;
}

// libjpeg pads a cut-off scan with gray and reports success: a complete JPEG has its
// end-of-image marker after the last start-of-scan (entropy data never holds either).
bool jpegComplete(std::span<const std::uint8_t> bytes)
{
    const auto* b = bytes.data();
    std::size_t lastScan = 0;
    for (std::size_t i = bytes.size(); i-- > 1;)
        if (b[i - 1] == 0xff && b[i] == 0xda) {
            lastScan = i;
            break;
        }
    for (std::size_t i = lastScan + 1; i + 1 < bytes.size(); ++i)
        if (b[i] == 0xff && b[i + 1] == 0xd9)
            return true;
    return false;
}

std::shared_ptr<QynPixelBuffer> grayFrom(const QImage& image)
{
    auto out = std::make_shared<QynPixelBuffer>(image.width(), image.height(), QynPixelFormat::Gray8);
    if (image.format() == QImage::Format_Indexed8) {
        const QList<QRgb> table = image.colorTable();
        std::array<std::uint8_t, 256> lut{};
        for (qsizetype i = 0; i < std::min<qsizetype>(table.size(), 256); ++i)
            lut[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(qBlue(table[i]));
        for (int y = 0; y < image.height(); ++y) {
            const uchar* s = image.constScanLine(y);
            std::uint8_t* d = out->row(y);
            for (int x = 0; x < image.width(); ++x)
                d[x] = lut[s[x]];
        }
    } else {
        const QImage gray = image.format() == QImage::Format_Grayscale8
            ? image : image.convertToFormat(QImage::Format_Grayscale8);
        if (gray.isNull())
            throw std::bad_alloc();
        for (int y = 0; y < gray.height(); ++y)
            std::memcpy(out->row(y), gray.constScanLine(y), static_cast<std::size_t>(gray.width()));
    }
    return out;
}

std::shared_ptr<QynPixelBuffer> colorFrom(const QImage& image)
{
    const QImage rgb = image.format() == QImage::Format_RGB32 || image.format() == QImage::Format_ARGB32
        ? image : image.convertToFormat(QImage::Format_RGB32);
    if (rgb.isNull())
        throw std::bad_alloc();
    auto out = std::make_shared<QynPixelBuffer>(rgb.width(), rgb.height(), QynPixelFormat::Color32);
    for (int y = 0; y < rgb.height(); ++y) {
        const auto* s = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
        auto* d = reinterpret_cast<std::uint32_t*>(out->row(y));
        for (int x = 0; x < rgb.width(); ++x)
            d[x] = s[x] & 0x00ffffff;
    }
    return out;
}

std::int32_t decodeWithQt(std::span<const std::uint8_t> bytes, std::shared_ptr<QynPixelBuffer>& out)
{
    const QByteArray data = QByteArray::fromRawData(reinterpret_cast<const char*>(bytes.data()),
                                                    static_cast<qsizetype>(bytes.size()));
    QBuffer device;
    device.setData(data);
    device.open(QIODevice::ReadOnly);
    QImageReader reader(&device);
    reader.setAllocationLimit(AllocationLimitMb);
    if (!reader.canRead())
        return QynFileAccess::NotAnImage;
    const QByteArray format = reader.format();
    if (format == "svg" || format == "svgz")  // drawings, not pixel files
        return QynFileAccess::NotAnImage;

    QImage image;
    const QSize size = reader.size();
    if (size.isValid()) {
        if (size.width() > QynFileAccess::MaxSide || size.height() > QynFileAccess::MaxSide)
            return QynFileAccess::TooLarge;
        const QImage::Format imageFormat = reader.imageFormat();
        if (imageFormat != QImage::Format_Invalid && !size.isEmpty()) {
            image = QImage(size, imageFormat);
            if (image.isNull())
                return QynFileAccess::TooLarge;
            image.fill(0);
        }
    }
    if (!reader.read(&image) || image.isNull())
        return QynFileAccess::NotAnImage;
    if (image.width() > QynFileAccess::MaxSide || image.height() > QynFileAccess::MaxSide)
        return QynFileAccess::TooLarge;
    if (isJpeg(bytes) && !jpegComplete(bytes))
        return QynFileAccess::Truncated;

    const bool gray = image.format() == QImage::Format_Grayscale8
        || image.format() == QImage::Format_Grayscale16
        || (image.format() == QImage::Format_Indexed8 && image.allGray());
    out = gray ? grayFrom(image) : colorFrom(image);
    return QynFileAccess::Success;
}

}  // namespace

std::int32_t QynImageDecoder::decode(std::span<const std::uint8_t> bytes,
                                     std::shared_ptr<QynPixelBuffer>& out)
{
    if (bytes.empty())
        return QynFileAccess::NotAnImage;
    if (QynBmpProbe::looksLikeBmp(bytes)) {
        QynBmpInfo info;
        const std::int32_t code = QynBmpProbe::probe(bytes, info);
        if (code != QynFileAccess::Success)
            return code;
        return QynBmpDecoder::decode(bytes, info, out);
    }
    return decodeWithQt(bytes, out);
}
