#include "ImageFileFixtures.h"

#include <QBuffer>
#include <QDir>
#include <QFile>

#include <png.h>

#include <cstdio>  // jpeglib.h needs FILE
#include <jpeglib.h>

#include <algorithm>
#include <ftw.h>
#include <sys/stat.h>
#include <cstring>

#include <stdexcept>

namespace fixture {

namespace {

void put(Bytes& out, std::uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

}  // namespace

Bytes file(const Header& h, const Bytes& pixelData)
{
    const bool core = h.headerSize == 12;
    const std::size_t entryBytes = core ? 3 : 4;
    const bool masksAfter = h.headerSize == 40 && !h.masks.empty();
    const std::size_t offset = 14 + h.headerSize + (masksAfter ? 4 * h.masks.size() : 0)
        + entryBytes * h.palette.size();
    const std::size_t dataOffset = h.dataOffset < 0 ? offset : static_cast<std::size_t>(h.dataOffset);

    Bytes out;
    out.push_back('B');
    out.push_back('M');
    put(out, static_cast<std::uint32_t>(offset + pixelData.size()), 4);
    put(out, 0, 4);
    put(out, static_cast<std::uint32_t>(dataOffset), 4);
    put(out, h.headerSize, 4);
    if (core) {
        put(out, static_cast<std::uint32_t>(h.width), 2);
        put(out, static_cast<std::uint32_t>(h.height), 2);
        put(out, 1, 2);
        put(out, static_cast<std::uint32_t>(h.bits), 2);
    } else {
        put(out, static_cast<std::uint32_t>(h.width), 4);
        put(out, static_cast<std::uint32_t>(h.height), 4);
        put(out, 1, 2);
        put(out, static_cast<std::uint32_t>(h.bits), 2);
        put(out, h.compression, 4);
        put(out, static_cast<std::uint32_t>(pixelData.size()), 4);
        put(out, 2835, 4);
        put(out, 2835, 4);
        put(out, h.colorsUsed, 4);
        put(out, 0, 4);
        const std::size_t headerEnd = 14 + h.headerSize;
        if (h.headerSize > 40) {
            for (std::uint32_t m : h.masks)
                put(out, m, 4);
        }
        while (out.size() < headerEnd)
            out.push_back(0);
        if (masksAfter)
            for (std::uint32_t m : h.masks)
                put(out, m, 4);
    }
    for (std::uint32_t c : h.palette) {
        put(out, c, 3);
        if (!core)
            out.push_back(0);
    }
    while (out.size() < dataOffset)
        out.push_back(0);
    out.insert(out.end(), pixelData.begin(), pixelData.end());
    return out;
}

Bytes rows(int width, int height, int bits, const std::function<std::uint32_t(int, int)>& value)
{
    const int h = height < 0 ? -height : height;
    const std::size_t rowBytes = (static_cast<std::size_t>(width) * bits + 31) / 32 * 4;
    Bytes out(rowBytes * static_cast<std::size_t>(h), 0);
    for (int r = 0; r < h; ++r) {
        const int y = height < 0 ? r : h - 1 - r;
        std::uint8_t* row = out.data() + rowBytes * static_cast<std::size_t>(r);
        for (int x = 0; x < width; ++x) {
            const std::uint32_t v = value(x, y);
            if (bits < 8) {
                const int perByte = 8 / bits;
                const int shift = 8 - bits * (x % perByte + 1);
                row[x / perByte] |= static_cast<std::uint8_t>(v << shift);
            } else {
                for (int b = 0; b < bits / 8; ++b)
                    row[x * bits / 8 + b] = static_cast<std::uint8_t>(v >> (8 * b));
            }
        }
    }
    return out;
}

std::vector<std::uint32_t> grayRamp()
{
    std::vector<std::uint32_t> p(256);
    for (std::uint32_t i = 0; i < 256; ++i)
        p[i] = i << 16 | i << 8 | i;
    return p;
}

std::vector<std::uint32_t> colorPalette(int entries)
{
    std::vector<std::uint32_t> p(static_cast<std::size_t>(entries));
    for (int i = 0; i < entries; ++i)
        p[static_cast<std::size_t>(i)] = static_cast<std::uint32_t>((i * 37) & 0xff) << 16
            | static_cast<std::uint32_t>((i * 91 + 13) & 0xff) << 8 | static_cast<std::uint32_t>(255 - i);
    return p;
}

Bytes png(const Png& layout)
{
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    Bytes out;
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        throw std::runtime_error("cannot write test PNG");
    }
    png_set_write_fn(png, &out, [](png_structp p, png_bytep data, std::size_t n) {
        auto* o = static_cast<Bytes*>(png_get_io_ptr(p));
        o->insert(o->end(), data, data + n);
    }, nullptr);
    png_set_IHDR(png, info, static_cast<png_uint_32>(layout.width), static_cast<png_uint_32>(layout.height), layout.depth,
                 layout.colorType, layout.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    std::vector<png_color> palette;
    for (std::uint32_t c : layout.palette)
        palette.push_back({static_cast<png_byte>(c >> 16), static_cast<png_byte>(c >> 8), static_cast<png_byte>(c)});
    if (!palette.empty())
        png_set_PLTE(png, info, palette.data(), static_cast<int>(palette.size()));
    png_color_16 key{};
    if (layout.key.size() == 1)
        key.gray = layout.key[0];
    if (layout.key.size() == 3) {
        key.red = layout.key[0];
        key.green = layout.key[1];
        key.blue = layout.key[2];
    }
    if (!layout.key.empty())
        png_set_tRNS(png, info, nullptr, 0, &key);
    png_write_info(png, info);
    const int channels = layout.colorType == 2 ? 3 : layout.colorType == 4 ? 2 : layout.colorType == 6 ? 4 : 1;
    const std::size_t perRow = static_cast<std::size_t>(layout.width * channels);
    const std::size_t rowBytes = (perRow * static_cast<std::size_t>(layout.depth) + 7) / 8;
    std::vector<Bytes> rows(static_cast<std::size_t>(layout.height), Bytes(rowBytes, 0));
    std::vector<png_bytep> pointers;
    for (std::size_t y = 0; y < rows.size(); ++y) {
        for (std::size_t i = 0; i < perRow; ++i) {
            const std::uint16_t v = layout.samples[y * perRow + i];
            if (layout.depth == 16) {
                rows[y][2 * i] = static_cast<std::uint8_t>(v >> 8);
                rows[y][2 * i + 1] = static_cast<std::uint8_t>(v);
            } else if (layout.depth == 8) {
                rows[y][i] = static_cast<std::uint8_t>(v);
            } else {
                const std::size_t bit = i * static_cast<std::size_t>(layout.depth);
                rows[y][bit / 8] |= static_cast<std::uint8_t>(v << (8 - layout.depth - bit % 8));
            }
        }
        pointers.push_back(rows[y].data());
    }
    png_write_image(png, pointers.data());
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return out;
}

Bytes jpeg(const Jpeg& layout)
{
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = static_cast<JDIMENSION>(layout.width);
    info.image_height = static_cast<JDIMENSION>(layout.height);
    info.input_components = layout.gray ? 1 : 3;
    info.in_color_space = layout.gray ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 90, TRUE);
    info.arith_code = layout.arithmetic ? TRUE : FALSE;
    if (layout.progressive)
        jpeg_simple_progression(&info);
    jpeg_start_compress(&info, TRUE);
    std::vector<JSAMPLE> row(static_cast<std::size_t>(layout.width * info.input_components));
    while (info.next_scanline < info.image_height) {
        const int y = static_cast<int>(info.next_scanline);
        for (std::size_t i = 0; i < row.size(); ++i)
            row[i] = static_cast<JSAMPLE>((static_cast<int>(i) * 7 + y * 13) & 0xff);
        JSAMPROW rows[] = {row.data()};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    Bytes out(buffer, buffer + size);
    jpeg_destroy_compress(&info);
    std::free(buffer);
    return out;
}

Bytes gif(int width, int height, const std::vector<std::uint8_t>& indices, const std::vector<std::uint32_t>& palette)
{
    Bytes out = {'G', 'I', 'F', '8', '9', 'a'};
    put(out, static_cast<std::uint32_t>(width), 2);
    put(out, static_cast<std::uint32_t>(height), 2);
    out.insert(out.end(), {0xf7, 0, 0});  // global table of 256 entries
    for (std::size_t i = 0; i < 256; ++i)
        put(out, i < palette.size() ? (palette[i] >> 16 & 0xff) | (palette[i] & 0xff00) | (palette[i] & 0xff) << 16 : 0,
            3);
    out.push_back(0x2c);
    put(out, 0, 4);
    put(out, static_cast<std::uint32_t>(width), 2);
    put(out, static_cast<std::uint32_t>(height), 2);
    out.push_back(0);
    out.push_back(8);  // LZW minimum code size
    Bytes codes;
    std::uint32_t bits = 0;
    int count = 0;
    auto putCode = [&](std::uint32_t code) {
        bits |= code << count;
        for (count += 9; count >= 8; count -= 8, bits >>= 8)
            codes.push_back(static_cast<std::uint8_t>(bits));
    };
    for (std::size_t i = 0; i < indices.size(); ++i) {
        if (i % 250 == 0)
            putCode(256);  // clear
        putCode(indices[i]);
    }
    putCode(257);  // end of information
    if (count > 0)
        codes.push_back(static_cast<std::uint8_t>(bits));
    for (std::size_t at = 0; at < codes.size(); at += 255) {
        const std::size_t n = std::min<std::size_t>(255, codes.size() - at);
        out.push_back(static_cast<std::uint8_t>(n));
        out.insert(out.end(), codes.begin() + static_cast<std::ptrdiff_t>(at),
                   codes.begin() + static_cast<std::ptrdiff_t>(at + n));
    }
    out.push_back(0);
    out.push_back(0x3b);
    return out;
}

Bytes encoded(const QImage& image, const char* format)
{
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, format))
        throw std::runtime_error("cannot encode test image");
    return Bytes(data.begin(), data.end());
}

Bytes cut(const Bytes& bytes, std::size_t size)
{
    return Bytes(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(size));
}

void writeFile(const QString& path, const Bytes& bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly)
        || f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()))
            != static_cast<qint64>(bytes.size()))
        throw std::runtime_error("cannot write test file");
}

Bytes readFile(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const QByteArray all = f.readAll();
    return Bytes(all.begin(), all.end());
}

void removeTree(const QString& folder)
{
    const QByteArray native = QFile::encodeName(folder);
    // Folders writable first, so their entries can go; then everything, deepest first.
    ::nftw(native.constData(), [](const char* path, const struct stat*, int type, FTW*) {
        if (type == FTW_D || type == FTW_DNR)
            ::chmod(path, 0700);
        return 0;
    }, 16, FTW_PHYS);
    ::nftw(native.constData(), [](const char* path, const struct stat*, int, FTW*) {
        ::remove(path);
        return 0;
    }, 16, FTW_PHYS | FTW_DEPTH);
}

QStringList entries(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                                  QDir::Name);
}

SlotState state(const QynImage& slot)
{
    SlotState s;
    s.properties = {slot.width(), slot.height(), slot.bitDepth(), slot.imageType()};
    if (const QynPixelBuffer* px = slot.pixels()) {
        s.filled = true;
        const std::size_t rowBytes =
            static_cast<std::size_t>(px->width()) * static_cast<std::size_t>(qynBytesPerPixel(px->format()));
        for (int y = 0; y < px->height(); ++y)
            s.pixels.insert(s.pixels.end(), px->row(y), px->row(y) + rowBytes);
    }
    return s;
}

}  // namespace fixture
