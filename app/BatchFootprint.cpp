#include "BatchFootprint.h"

#include "QynNativePath.h"

#include <QBuffer>
#include <QImageReader>

#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr qsizetype HeaderBytes = 64 * 1024;  // where a JPEG's size may come after its metadata

std::uint32_t little(const QByteArray& b, int at, int bytes)
{
    std::uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i)
        v = v << 8 | static_cast<std::uint8_t>(b[at + i]);
    return v;
}

// Pixels the header announces, and whether it is a BMP (read without Qt's copy).
std::int64_t pixels(const QByteArray& head, bool& bmp)
{
    bmp = head.size() >= 26 && head.startsWith("BM");
    if (bmp) {
        if (little(head, 14, 4) == 12)
            return std::int64_t{little(head, 18, 2)} * little(head, 20, 2);
        const auto width = static_cast<std::int32_t>(little(head, 18, 4));
        const auto height = static_cast<std::int32_t>(little(head, 22, 4));
        return std::llabs(std::int64_t{width}) * std::llabs(std::int64_t{height});
    }
    QBuffer device;
    device.setData(head);
    device.open(QIODevice::ReadOnly);
    const QSize size = QImageReader(&device).size();
    return size.isValid() ? std::int64_t{size.width()} * size.height() : 0;
}

}  // namespace

std::int64_t BatchFootprint::bytes(const ConvertOptions& options, const QStringList& sources,
                                   std::int64_t& inputBytes)
{
    inputBytes = 0;
    std::int64_t total = 0;
    std::int64_t largest = 0;
    for (const QString& source : sources) {
        const int fd = ::open(qynPathToNative(source).constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
        if (fd < 0)
            continue;
        struct stat st {};
        QByteArray head;
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
            head.resize(static_cast<qsizetype>(std::min<std::int64_t>(st.st_size, HeaderBytes)));
            const ssize_t got = ::read(fd, head.data(), static_cast<std::size_t>(head.size()));
            head.resize(got > 0 ? got : 0);
            inputBytes += st.st_size;
            total += st.st_size;
        }
        ::close(fd);
        bool bmp = false;
        const std::int64_t n = pixels(head, bmp);
        total += (bmp ? 4 : 8) * n;
        largest = std::max(largest, n);
    }
    return total + std::int64_t{options.recipe->resultBytesPerPixel} * largest;
}
