#include "QynImageDecoder.h"

#include "QynBmpDecoder.h"
#include "QynFileResult.h"
#include "QynJpegDecoder.h"
#include "QynPngDecoder.h"
#include "QynSpanDevice.h"
#include "QynStreamCheck.h"

#include <QByteArray>
#include <QImage>
#include <QImageReader>
#include <QLoggingCategory>

#include <tiffio.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <string_view>
#include <new>

namespace {

// Formats read through Qt: TIFF (libtiff refuses cut files itself) and binary PBM, PGM
// and PPM (checked whole first). Every other format, among them those Qt reads but whose
// cut, lying or bomb files it loads as images (GIF, TGA, WBMP, ICNS, ...), is refused by
// name.
const QList<QByteArray> QtFormats = {"tiff", "pbm", "pgm", "ppm"};

// Above the largest image the header describes, a file may carry this much more
// (metadata, colour profiles, thumbnails) and twice the image's worst-case coding.
constexpr std::uint64_t SlackBytes = std::uint64_t{16} << 20;
// A file whose header gives no size may be this large.
constexpr std::uint64_t UnsizedLimit = std::uint64_t{64} << 20;
// Worst-case stored bytes a pixel: 16-bit RGBA.
constexpr std::uint64_t WorstBytesPerPixel = 8;
// Qt's decoded image beside the slot may be as large as the slot, or this, whichever is larger.
constexpr std::uint64_t QtImageFloor = std::uint64_t{256} << 20;
constexpr int BandRows = 64;

// libtiff and Qt's image readers print their complaints on standard error (libtiff
// names a file "foo"); a load reports through its code alone.
void quietImageLibraries()
{
    static std::once_flag once;
    std::call_once(once, [] {
        TIFFSetWarningHandler(nullptr);
        TIFFSetErrorHandler(nullptr);
        static QLoggingCategory::CategoryFilter previous = nullptr;
        previous = QLoggingCategory::installFilter([](QLoggingCategory* category) {
            if (previous)
                previous(category);
            if (std::strncmp(category->categoryName(), "qt.gui.imageio", 14) == 0)
                category->setEnabled(QtWarningMsg, false);
        });
    });
}

std::uint64_t limitFor(std::uint64_t largest)
{
    return largest == 0 ? UnsizedLimit : 2 * largest + SlackBytes;
}

std::uint64_t qtImageLimit(QSize size)
{
    const auto pixels = static_cast<std::uint64_t>(size.width()) * static_cast<std::uint64_t>(size.height());
    return std::max(pixels * 4, QtImageFloor);
}

bool grayImage(const QImage& image)
{
    switch (image.format()) {
    case QImage::Format_Grayscale8:
    case QImage::Format_Grayscale16:
        return true;
    case QImage::Format_Mono:
    case QImage::Format_MonoLSB:
    case QImage::Format_Indexed8:
        return image.allGray();
    default:
        return false;
    }
}

// Converts a band of rows at a time, so no second whole image is ever held.
std::shared_ptr<QynPixelBuffer> slotFrom(const QImage& image)
{
    const bool gray = grayImage(image);
    const bool direct = gray ? image.format() == QImage::Format_Grayscale8
                             : image.format() == QImage::Format_RGB32 || image.format() == QImage::Format_ARGB32;
    const QImage::Format bandFormat = gray ? QImage::Format_Grayscale8 : QImage::Format_ARGB32;
    const int w = image.width();
    auto out = std::make_shared<QynPixelBuffer>(w, image.height(), gray ? QynPixelFormat::Gray8 : QynPixelFormat::Color32);
    for (int top = 0; top < image.height(); top += BandRows) {
        const int rows = std::min(BandRows, image.height() - top);
        QImage band;
        if (!direct) {
            band = image.copy(0, top, w, rows).convertToFormat(bandFormat);
            if (band.isNull())
                throw std::bad_alloc();
        }
        for (int r = 0; r < rows; ++r) {
            const uchar* s = direct ? image.constScanLine(top + r) : band.constScanLine(r);
            std::uint8_t* d = out->row(top + r);
            if (gray) {
                std::memcpy(d, s, static_cast<std::size_t>(w));
            } else {
                const auto* src = reinterpret_cast<const QRgb*>(s);
                auto* dst = reinterpret_cast<std::uint32_t*>(d);
                for (int x = 0; x < w; ++x)
                    dst[x] = src[x] & 0x00ffffff;
            }
        }
    }
    return out;
}

bool startsWith(std::span<const std::uint8_t> bytes, std::string_view text, std::size_t at = 0)
{
    return bytes.size() >= at + text.size() && std::memcmp(bytes.data() + at, text.data(), text.size()) == 0;
}

// The name of a format the head shows that we do not read, or an empty string.
QString refusedFormat(std::span<const std::uint8_t> head, const QByteArray& qtFormat)
{
    if (startsWith(head, "P1") || startsWith(head, "P2") || startsWith(head, "P3"))
        return QStringLiteral("ASCII PNM (a cut file cannot be told from a whole one)");
    if (startsWith(head, "GIF8"))
        return QStringLiteral("GIF");
    if (startsWith(head, "RIFF") && startsWith(head, "WEBP", 8))
        return QStringLiteral("WebP");
    if (startsWith(head, "icns"))
        return QStringLiteral("ICNS");
    return qtFormat.isEmpty() || QtFormats.contains(qtFormat) ? QString() : QString::fromLatin1(qtFormat.toUpper());
}

QString refusal(const QString& format)
{
    return QStringLiteral("%1 files are not read (only BMP, PNG, JPEG, TIFF and binary PBM, PGM and PPM are)")
        .arg(format);
}

// The format Qt's readers see in the bytes, or an empty name.
QByteArray qtFormatOf(std::span<const std::uint8_t> bytes)
{
    QynSpanDevice device(bytes);
    QImageReader reader(&device);
    return reader.canRead() ? reader.format() : QByteArray();
}

std::int32_t decodeWithQt(std::span<const std::uint8_t> bytes, std::shared_ptr<QynPixelBuffer>& out, QString* why)
{
    const QByteArray format = qtFormatOf(bytes);
    if (const QString refused = refusedFormat(bytes, format); !refused.isEmpty()) {
        if (why)
            *why = refusal(refused);
        return QynFileResult::NotAnImage;
    }
    if (format.isEmpty())
        return QynFileResult::NotAnImage;
    if (format != "tiff")
        if (const std::int32_t code = QynStreamCheck::pnm(bytes); code != QynFileResult::Success)
            return code;
    QynSpanDevice device(bytes);
    QImageReader reader(&device, format);
    const QSize size = reader.size();
    if (size.width() > QynFileResult::MaxSide || size.height() > QynFileResult::MaxSide)
        return QynFileResult::TooLarge;
    if (size.isValid()) {
        const QImage::Format imageFormat = reader.imageFormat();
        const int bits = imageFormat == QImage::Format_Invalid ? 32 : QImage::toPixelFormat(imageFormat).bitsPerPixel();
        const std::uint64_t imageBytes = static_cast<std::uint64_t>(size.width())
            * static_cast<std::uint64_t>(size.height()) * static_cast<std::uint64_t>(bits) / 8;
        if (imageBytes > qtImageLimit(size))
            return QynFileResult::TooLarge;
    }

    // Qt's own check (our size check came first): large enough for anything we accept.
    reader.setAllocationLimit(static_cast<int>(2 * qtImageLimit({QynFileResult::MaxSide, QynFileResult::MaxSide}) >> 20));
    QImage image;
    if (!reader.read(&image) || image.isNull()) {
        // Qt's readers say no more than "unable to read" when memory runs out.
        if (size.isValid() && QImage(size, reader.imageFormat() == QImage::Format_Invalid
                                               ? QImage::Format_ARGB32 : reader.imageFormat()).isNull())
            return QynFileResult::TooLarge;
        return QynFileResult::NotAnImage;
    }
    if (image.width() > QynFileResult::MaxSide || image.height() > QynFileResult::MaxSide)
        return QynFileResult::TooLarge;
    out = slotFrom(image);
    return QynFileResult::Success;
}

}  // namespace

std::int32_t QynImageDecoder::screen(std::span<const std::uint8_t> head, std::uint64_t fileSize, QIODevice* file,
                                     QString* why)
{
    quietImageLibraries();
    std::uint64_t largest = 0;
    if (QynBmpProbe::looksLikeBmp(head)) {
        largest = QynBmpProbe::largestFile(head);
    } else if (QynPngDecoder::looksLikePng(head) || QynJpegDecoder::looksLikeJpeg(head)) {
        std::uint32_t width = 0, height = 0;
        if (QynPngDecoder::headerSize(head, width, height) || QynJpegDecoder::headerSize(head, width, height))
            largest = std::uint64_t{width} * height * WorstBytesPerPixel;
    } else {
        const QByteArray format = qtFormatOf(head);
        if (const QString refused = refusedFormat(head, format); !refused.isEmpty()) {
            if (why)
                *why = refusal(refused);
            return QynFileResult::NotAnImage;
        }
        if (format.isEmpty())
            return QynFileResult::NotAnImage;
        QynSpanDevice device(head);
        QImageReader reader(&device, format);
        QSize size = reader.size();
        if (!size.isValid() && format == "tiff" && file && file->seek(0)) {
            QImageReader whole(file, format);  // the directory may sit at the end
            size = whole.size();
        }
        if (size.isValid() && !size.isEmpty())
            largest = static_cast<std::uint64_t>(size.width()) * static_cast<std::uint64_t>(size.height())
                * WorstBytesPerPixel;
    }
    return fileSize > limitFor(largest) ? QynFileResult::NotAnImage : QynFileResult::Success;
}

QString QynImageDecoder::refusalByName(const QString& path)
{
    const QByteArray suffix = path.mid(path.lastIndexOf('.') + 1).toLower().toLatin1();
    if (path.lastIndexOf('.') <= path.lastIndexOf('/') || QtFormats.contains(suffix) || suffix == "tif"
        || !QImageReader::supportedImageFormats().contains(suffix))
        return {};
    return refusal(QString::fromLatin1(suffix.toUpper()));
}

std::int32_t QynImageDecoder::decode(std::span<const std::uint8_t> bytes, std::shared_ptr<QynPixelBuffer>& out,
                                     QString* why)
{
    quietImageLibraries();
    if (bytes.empty())
        return QynFileResult::NotAnImage;
    if (QynBmpProbe::looksLikeBmp(bytes)) {
        QynBmpInfo info;
        const std::int32_t code = QynBmpProbe::probe(bytes, info);
        if (code != QynFileResult::Success)
            return code;
        return QynBmpDecoder::decode(bytes, info, out);
    }
    if (QynPngDecoder::looksLikePng(bytes))
        return QynPngDecoder::decode(bytes, out);
    if (QynJpegDecoder::looksLikeJpeg(bytes))
        return QynJpegDecoder::decode(bytes, out, why);
    return decodeWithQt(bytes, out, why);
}
