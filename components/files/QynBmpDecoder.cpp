#include "QynBmpDecoder.h"

#include "QynFileResult.h"
#include "QynPixelPacking.h"

#include <QFileDevice>
#include <QIODevice>

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <cstring>
#include <system_error>
#include <thread>
#include <vector>

#include <sys/uio.h>
#include <unistd.h>

namespace {

static_assert(std::endian::native == std::endian::little, "pixel rows are read as little-endian words");

using Encoding = QynBmpInfo::Encoding;

// One channel of a 16- or 32-bit pixel, scaled to 8 bits.
struct Channel {
    std::uint32_t mask = 0;
    int shift = 0;
    int bits = 0;

    explicit Channel(std::uint32_t m) : mask(m)
    {
        if (m) {
            shift = std::countr_zero(m);
            bits = std::popcount(m);
        }
    }
    std::uint32_t operator()(std::uint32_t pixel) const
    {
        if (!mask)
            return 0;
        const std::uint64_t v = (pixel & mask) >> shift;
        if (bits >= 8)
            return static_cast<std::uint32_t>(v >> (bits - 8));
        const std::uint64_t max = (std::uint64_t{1} << bits) - 1;
        return static_cast<std::uint32_t>((v * 255 + max / 2) / max);
    }
};

std::uint32_t load32(const std::uint8_t* p)
{
    std::uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

// Unpacks 1- or 4-bit indices of one row into bytes.
void unpackIndices(const std::uint8_t* src, int bits, int width, std::uint8_t* out)
{
    if (bits == 4) {
        for (int x = 0; x < width; ++x)
            out[x] = (x & 1) ? src[x >> 1] & 0x0f : src[x >> 1] >> 4;
    } else {
        for (int x = 0; x < width; ++x)
            out[x] = (src[x >> 3] >> (7 - (x & 7))) & 1;
    }
}

class RowWriter {
public:
    RowWriter(const QynBmpInfo& info, QynPixelBuffer& out)
        : info_(info), out_(out), gray_(out.format() == QynPixelFormat::Gray8),
          red_(info.masks[0]), green_(info.masks[1]), blue_(info.masks[2])
    {
        identity_ = gray_;
        for (int i = 0; i < 256; ++i) {
            grayLut_[static_cast<std::size_t>(i)] =
                static_cast<std::uint8_t>(info.palette[static_cast<std::size_t>(i)] & 0xff);
            if (i < info.paletteSize && grayLut_[static_cast<std::size_t>(i)] != i)
                identity_ = false;
        }
        if (info.paletteSize < 256)
            identity_ = false;
        standard32_ = info.bitCount == 32 && info.masks[0] == 0xff0000 && info.masks[1] == 0xff00
            && info.masks[2] == 0xff;
        if (info.bitCount == 16) {
            lut16_.resize(65536);
            for (std::uint32_t v = 0; v < 65536; ++v)
                lut16_[v] = red_(v) << 16 | green_(v) << 8 | blue_(v);
        }
        if (info.bitCount < 8)
            indices_.resize(static_cast<std::size_t>(info.width));
    }

    // Where the stored bytes of a row in file order go unchanged (8-bit gray whose palette
    // is the identity), or null when they must be converted by write.
    std::uint8_t* rowAsStored(int fileRow) const
    {
        if (info_.bitCount != 8 || !gray_ || !identity_)
            return nullptr;
        return out_.row(info_.topDown ? fileRow : info_.height - 1 - fileRow);
    }

    // Writes one row in file order; src holds the row's stored bytes (or, from RLE, one
    // index a pixel).
    void write(int fileRow, const std::uint8_t* src, bool unpacked = false)
    {
        const int y = info_.topDown ? fileRow : info_.height - 1 - fileRow;
        std::uint8_t* dst = out_.row(y);
        const int w = info_.width;
        const int bits = info_.bitCount;
        if (bits <= 8) {
            const std::uint8_t* idx = src;
            if (bits < 8 && !unpacked) {
                unpackIndices(src, bits, w, indices_.data());
                idx = indices_.data();
            }
            if (gray_) {
                if (identity_)
                    std::memcpy(dst, idx, static_cast<std::size_t>(w));
                else
                    for (int x = 0; x < w; ++x)
                        dst[x] = grayLut_[idx[x]];
            } else {
                auto* d = reinterpret_cast<std::uint32_t*>(dst);
                for (int x = 0; x < w; ++x)
                    d[x] = info_.palette[idx[x]];
            }
            return;
        }
        auto* d = reinterpret_cast<std::uint32_t*>(dst);
        if (bits == 24) {
            QynPixelPacking::unpackBgr(src, dst, w);
        } else if (bits == 16) {
            for (int x = 0; x < w; ++x)
                d[x] = lut16_[static_cast<std::size_t>(src[2 * x] | src[2 * x + 1] << 8)];
        } else if (standard32_) {
            for (int x = 0; x < w; ++x)
                d[x] = load32(src + 4 * x) & 0x00ffffff;
        } else {
            for (int x = 0; x < w; ++x) {
                const std::uint32_t v = load32(src + 4 * x);
                d[x] = red_(v) << 16 | green_(v) << 8 | blue_(v);
            }
        }
    }

private:
    const QynBmpInfo& info_;
    QynPixelBuffer& out_;
    bool gray_;
    bool identity_ = false;
    bool standard32_ = false;
    Channel red_, green_, blue_;
    std::array<std::uint8_t, 256> grayLut_{};
    std::vector<std::uint32_t> lut16_;
    std::vector<std::uint8_t> indices_;
};

// Expands an RLE8 or RLE4 stream into one index a pixel, rows in file order. Pixels the
// stream skips keep index 0. Pixels a run puts past the end of its row are dropped: some
// writers encode the row's padding bytes too (ImageMagick does), and other readers accept
// their files. A run after the last row or a move out of the image is corrupt; a stream
// that ends before its last row is truncated.
std::int32_t expandRle(std::span<const std::uint8_t> data, const QynBmpInfo& info,
                       std::vector<std::uint8_t>& indices)
{
    const std::size_t w = static_cast<std::size_t>(info.width);
    const std::size_t h = static_cast<std::size_t>(info.height);
    const bool four = info.encoding == Encoding::Rle4;
    indices.assign(w * h, 0);
    std::size_t x = 0, y = 0, pos = 0;
    const std::size_t n = data.size();
    while (true) {
        if (pos + 2 > n)
            return y >= h ? QynFileResult::Success : QynFileResult::Truncated;
        const std::size_t count = data[pos];
        const std::uint8_t value = data[pos + 1];
        pos += 2;
        if (count > 0) {
            if (y >= h)
                return QynFileResult::NotAnImage;
            std::uint8_t* row = indices.data() + y * w + x;
            const std::size_t kept = std::min(count, w - x);
            for (std::size_t i = 0; i < kept; ++i)
                row[i] = four ? ((i & 1) ? value & 0x0f : value >> 4) : value;
            x += kept;
            continue;
        }
        switch (value) {
        case 0:  // end of line
            x = 0;
            ++y;
            break;
        case 1:  // end of bitmap
            return QynFileResult::Success;
        case 2:  // move right and up
            if (pos + 2 > n)
                return QynFileResult::Truncated;
            x += data[pos];
            y += data[pos + 1];
            pos += 2;
            if (x > w || y > h)
                return QynFileResult::NotAnImage;
            break;
        default: {  // a literal run of `value` pixels, padded to a 16-bit boundary
            const std::size_t pixels = value;
            const std::size_t bytes = four ? (pixels + 1) / 2 : pixels;
            if (y >= h)
                return QynFileResult::NotAnImage;
            if (pos + bytes > n)
                return QynFileResult::Truncated;
            std::uint8_t* row = indices.data() + y * w + x;
            const std::size_t kept = std::min(pixels, w - x);
            for (std::size_t i = 0; i < kept; ++i)
                row[i] = four ? ((i & 1) ? data[pos + i / 2] & 0x0f : data[pos + i / 2] >> 4)
                              : data[pos + i];
            x += kept;
            pos += (bytes + 1) & ~std::size_t{1};
            break;
        }
        }
    }
}

// Uncompressed images at least this large in the slot are read by two threads.
constexpr std::size_t TwoThreadBytes = std::size_t{32} << 20;

// Reads the next bytes of a device whose position is the rows' first byte.
struct InOrder {
    QIODevice& file;

    std::int32_t operator()(std::uint64_t, std::uint8_t* to, std::size_t wanted) const
    {
        std::size_t done = 0;
        while (done < wanted) {  // a file cut short meanwhile ends early: a short file
            const qint64 got = file.read(reinterpret_cast<char*>(to) + done, static_cast<qint64>(wanted - done));
            if (got < 0)
                return QynFileResult::NotReadable;
            if (got == 0)
                return QynFileResult::Truncated;
            done += static_cast<std::size_t>(got);
        }
        return QynFileResult::Success;
    }
};

// Reads at offset into the buffers of parts (count of them) until all are full; parts
// is used up on the way.
std::int32_t readVectorAt(int fd, std::uint64_t offset, iovec* parts, int count)
{
    while (count > 0) {
        const ssize_t got = ::preadv(fd, parts, count, static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return QynFileResult::NotReadable;
        if (got == 0)
            return QynFileResult::Truncated;  // a file cut short meanwhile ends early
        offset += static_cast<std::uint64_t>(got);
        auto left = static_cast<std::size_t>(got);
        while (count > 0 && left >= parts->iov_len) {
            left -= parts->iov_len;
            ++parts;
            --count;
        }
        if (count > 0) {
            parts->iov_base = static_cast<std::uint8_t*>(parts->iov_base) + left;
            parts->iov_len -= left;
        }
    }
    return QynFileResult::Success;
}

// Reads bytes at an offset of an open file, without moving its position, so that two
// threads can read from it at once.
struct FileAt {
    int fd;

    std::int32_t operator()(std::uint64_t offset, std::uint8_t* to, std::size_t wanted) const
    {
        iovec part{to, wanted};
        return readVectorAt(fd, offset, &part, 1);
    }
};

// Rows [first, end) of an image whose rows are stored as the slot holds them: the kernel
// reads them straight into the slot's rows, many rows a call, and each row's padding into
// a scratch word, so nothing is copied twice. As in memory, the last row needs its
// pixels, not its padding.
std::int32_t readRowsInPlace(const QynBmpInfo& info, const RowWriter& writer, int first, int end, int fd)
{
    constexpr int RowsPerCall = 512;  // two parts a row, within the system's limit of 1024
    const auto pixelBytes = static_cast<std::size_t>(info.width);
    const std::size_t padding = info.rowBytes - pixelBytes;
    std::array<std::uint8_t, 4> sink{};
    std::array<iovec, 2 * RowsPerCall> parts{};
    for (int r = first; r < end; r += RowsPerCall) {
        const int rows = std::min(RowsPerCall, end - r);
        int count = 0;
        for (int i = 0; i < rows; ++i) {
            parts[static_cast<std::size_t>(count++)] = {writer.rowAsStored(r + i), pixelBytes};
            if (padding != 0 && r + i + 1 < info.height)
                parts[static_cast<std::size_t>(count++)] = {sink.data(), padding};
        }
        if (const std::int32_t code =
                readVectorAt(fd, info.dataOffset + static_cast<std::uint64_t>(r) * info.rowBytes, parts.data(), count);
            code != QynFileResult::Success)
            return code;
    }
    return QynFileResult::Success;
}

// Rows [first, end) of an uncompressed image, in file order, a chunk at a time through a
// buffer that stays in the cache. As in memory, the last row needs its pixels, not its
// padding.
template <class Read>
std::int32_t readRows(const QynBmpInfo& info, RowWriter& writer, int first, int end, const Read& read)
{
    constexpr std::size_t ChunkBytes = std::size_t{1} << 20;
    const std::size_t rowBytes = info.rowBytes;
    const std::size_t lastRowBytes =
        (static_cast<std::size_t>(info.width) * static_cast<std::size_t>(info.bitCount) + 7) / 8;
    const int rowsPerChunk =
        static_cast<int>(std::clamp<std::size_t>(ChunkBytes / rowBytes, 1, static_cast<std::size_t>(end - first)));
    const std::unique_ptr<std::uint8_t[]> chunk(new std::uint8_t[static_cast<std::size_t>(rowsPerChunk) * rowBytes]);
    for (int r = first; r < end; r += rowsPerChunk) {
        const int rows = std::min(rowsPerChunk, end - r);
        const std::size_t wanted = static_cast<std::size_t>(rows - 1) * rowBytes
            + (r + rows == info.height ? lastRowBytes : rowBytes);
        if (const std::int32_t code = read(info.dataOffset + static_cast<std::uint64_t>(r) * rowBytes, chunk.get(), wanted);
            code != QynFileResult::Success)
            return code;
        for (int i = 0; i < rows; ++i)
            writer.write(r + i, chunk.get() + static_cast<std::size_t>(i) * rowBytes);
    }
    return QynFileResult::Success;
}

}  // namespace

std::int32_t QynBmpDecoder::decode(std::span<const std::uint8_t> file, const QynBmpInfo& info,
                                   std::shared_ptr<QynPixelBuffer>& out)
{
    const QynPixelFormat format = info.isGray() ? QynPixelFormat::Gray8 : QynPixelFormat::Color32;
    const std::span<const std::uint8_t> data = file.subspan(info.dataOffset);

    std::vector<std::uint8_t> indices;
    if (info.encoding == Encoding::Rle8 || info.encoding == Encoding::Rle4) {
        const std::int32_t code = expandRle(data, info, indices);
        if (code != QynFileResult::Success)
            return code;
    }

    auto pixels = std::make_shared<QynPixelBuffer>(info.width, info.height, format);
    RowWriter writer(info, *pixels);
    const std::size_t w = static_cast<std::size_t>(info.width);
    for (int r = 0; r < info.height; ++r) {
        if (indices.empty())
            writer.write(r, data.data() + static_cast<std::size_t>(r) * info.rowBytes);
        else
            writer.write(r, indices.data() + static_cast<std::size_t>(r) * w, true);
    }
    out = std::move(pixels);
    return QynFileResult::Success;
}

std::int32_t QynBmpDecoder::decode(QIODevice& file, const QynBmpInfo& info, std::shared_ptr<QynPixelBuffer>& out)
{
    if (info.encoding != Encoding::Rgb && info.encoding != Encoding::BitFields)
        return QynFileResult::NotAnImage;
    const QynPixelFormat format = info.isGray() ? QynPixelFormat::Gray8 : QynPixelFormat::Color32;
    auto pixels = std::make_shared<QynPixelBuffer>(info.width, info.height, format);
    RowWriter writer(info, *pixels);
    const auto* device = qobject_cast<const QFileDevice*>(&file);
    const int fd = device ? device->handle() : -1;
    if (fd < 0) {
        if (!file.seek(static_cast<qint64>(info.dataOffset)))
            return QynFileResult::NotReadable;
        const std::int32_t code = readRows(info, writer, 0, info.height, InOrder{file});
        if (code == QynFileResult::Success)
            out = std::move(pixels);
        return code;
    }
    // An open file is read at offsets, which leaves its position alone, so that two
    // threads can share it; the rows of 8-bit gray go straight into the slot. Nothing
    // thrown may leave a part: the other may still run.
    const auto readPart = [&](RowWriter& rows, int first, int end) -> std::int32_t {
        try {
            return rows.rowAsStored(first) ? readRowsInPlace(info, rows, first, end, fd)
                                           : readRows(info, rows, first, end, FileAt{fd});
        } catch (const std::bad_alloc&) {
            return QynFileResult::TooLarge;  // as for any allocation of a load
        }
    };
    const std::size_t slotBytes = static_cast<std::size_t>(pixels->stride()) * static_cast<std::size_t>(info.height);
    std::int32_t code = QynFileResult::Success;
    if (slotBytes < TwoThreadBytes || info.height < 2 || std::thread::hardware_concurrency() < 2) {
        code = readPart(writer, 0, info.height);
    } else {
        // Two threads, each reading its half of the rows: the new slot's pages are cleared
        // by the kernel and the rows copied and unpacked on two cores.
        const int middle = info.height / 2;
        RowWriter secondWriter(info, *pixels);
        std::int32_t second = QynFileResult::Success;
        const auto readSecondHalf = [&] { second = readPart(secondWriter, middle, info.height); };
        std::thread helper;
        try {
            helper = std::thread(readSecondHalf);
        } catch (const std::system_error&) {
        }
        code = readPart(writer, 0, middle);
        if (helper.joinable())
            helper.join();
        else
            readSecondHalf();
        if (code == QynFileResult::Success)
            code = second;
    }
    if (code == QynFileResult::Success)
        out = std::move(pixels);
    return code;
}
