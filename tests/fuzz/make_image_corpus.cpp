// Writes one small file of every image variant the loader reads into the folder given.
#include "ImageFileFixtures.h"

#include <QDir>
#include <QImage>

#include <cstdio>

using fixture::Bytes;
using fixture::Header;

namespace {

std::uint32_t rgbAt(int x, int y)
{
    return static_cast<std::uint32_t>(x * 40) << 16 | static_cast<std::uint32_t>(y * 50) << 8 | 200;
}

std::uint32_t indexAt(int x, int y)
{
    return static_cast<std::uint32_t>(x + 3 * y);
}

using fixture::cut;
using fixture::encoded;

fixture::Png grayPng(int depth, bool keyed, bool interlaced)
{
    fixture::Png layout{7, 5, depth, 0, interlaced, {}, {}, {}};
    for (int i = 0; i < 35; ++i)
        layout.samples.push_back(static_cast<std::uint16_t>((i * 2749) % (1 << depth)));
    if (keyed)
        layout.key = {layout.samples[3]};
    return layout;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_image_corpus FOLDER\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(folder);
    const int w = 7, h = 5;
    auto idx = [](int bits) {
        return [bits](int x, int y) { return indexAt(x, y) & ((1u << bits) - 1); };
    };
    const std::vector<std::pair<const char*, Bytes>> files = {
        {"bgr24.bmp", fixture::file(Header(w, h, 24), fixture::rows(w, h, 24, rgbAt))},
        {"bgr24-topdown.bmp", fixture::file(Header(w, -h, 24), fixture::rows(w, -h, 24, rgbAt))},
        {"bgrx32.bmp", fixture::file(Header(w, h, 32), fixture::rows(w, h, 32, rgbAt))},
        {"bitfields32-v5.bmp",
         fixture::file(Header(w, h, 32).withCompression(3).withHeaderSize(124).withMasks({0xff0000, 0xff00, 0xff}),
                       fixture::rows(w, h, 32, rgbAt))},
        {"rgb555.bmp", fixture::file(Header(w, h, 16), fixture::rows(w, h, 16, rgbAt))},
        {"rgb565.bmp", fixture::file(Header(w, h, 16).withCompression(3).withMasks({0xf800, 0x7e0, 0x1f}),
                                     fixture::rows(w, h, 16, rgbAt))},
        {"gray8.bmp", fixture::file(Header(w, h, 8).withPalette(fixture::grayRamp()), fixture::rows(w, h, 8, idx(8)))},
        {"palette8.bmp",
         fixture::file(Header(w, h, 8).withPalette(fixture::colorPalette(256)), fixture::rows(w, h, 8, idx(8)))},
        {"palette4.bmp",
         fixture::file(Header(w, h, 4).withPalette(fixture::colorPalette(16)), fixture::rows(w, h, 4, idx(4)))},
        {"mono1.bmp", fixture::file(Header(w, h, 1).withPalette(fixture::colorPalette(2)), fixture::rows(w, h, 1, idx(1)))},
        {"core24.bmp", fixture::file(Header(w, h, 24).withHeaderSize(12), fixture::rows(w, h, 24, rgbAt))},
        {"core8.bmp", fixture::file(Header(w, h, 8).withHeaderSize(12).withPalette(fixture::colorPalette(256)),
                                    fixture::rows(w, h, 8, idx(8)))},
        {"rle8.bmp", fixture::file(Header(6, 3, 8).withCompression(1).withPalette(fixture::colorPalette(256)),
                                   {5, 7, 1, 1, 0, 0, 0, 3, 2, 3, 4, 0, 0, 2, 2, 1, 1, 9, 0, 1})},
        {"rle4.bmp", fixture::file(Header(5, 3, 4).withCompression(2).withPalette(fixture::colorPalette(16)),
                                   {5, 0xab, 0, 0, 0, 3, 0x12, 0x30, 0, 0, 5, 0xcc, 0, 1})},
    };
    for (const auto& [name, bytes] : files)
        fixture::writeFile(QDir(folder).filePath(name), bytes);

    QImage color(w, h, QImage::Format_RGB32);
    QImage gray(w, h, QImage::Format_Grayscale8);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            color.setPixel(x, y, rgbAt(x, y) | 0xff000000);
            gray.scanLine(y)[x] = static_cast<uchar>(indexAt(x, y) * 9);
        }
    const Bytes jpeg = encoded(color, "JPEG");
    Bytes lyingJpeg = jpeg;  // a frame header that claims 16384 x 16384
    for (std::size_t i = 2; i + 9 < lyingJpeg.size(); ++i)
        if (lyingJpeg[i] == 0xff && lyingJpeg[i + 1] == 0xc0) {
            lyingJpeg[i + 5] = lyingJpeg[i + 7] = 0x40;
            lyingJpeg[i + 6] = lyingJpeg[i + 8] = 0;
            break;
        }
    std::vector<std::uint8_t> indices;
    for (int i = 0; i < w * h; ++i)
        indices.push_back(static_cast<std::uint8_t>(indexAt(i % w, i / w)));
    const Bytes gif = fixture::gif(w, h, indices, fixture::colorPalette(256));
    const Bytes xbm = encoded(color.convertToFormat(QImage::Format_Mono), "XBM");
    const Bytes tiff = encoded(color, "TIFF");
    fixture::Png palette{w, h, 4, 3, false, {}, {}, fixture::colorPalette(16)};
    for (int i = 0; i < w * h; ++i)
        palette.samples.push_back(static_cast<std::uint16_t>(i & 15));
    const std::vector<std::pair<const char*, Bytes>> others = {
        {"color.png", encoded(color, "PNG")},
        {"gray.png", encoded(gray, "PNG")},
        {"gray1-keyed.png", fixture::png(grayPng(1, true, false))},
        {"gray2-interlaced.png", fixture::png(grayPng(2, false, true))},
        {"gray16-keyed-interlaced.png", fixture::png(grayPng(16, true, true))},
        {"palette4.png", fixture::png(palette)},
        {"color.jpg", jpeg},
        {"gray.jpg", encoded(gray, "JPEG")},
        {"cut.jpg", cut(jpeg, jpeg.size() / 2)},
        {"lying.jpg", lyingJpeg},
        {"color.gif", gif},
        {"cut.gif", cut(gif, gif.size() / 2)},
        {"mono.xbm", xbm},
        {"cut.xbm", cut(xbm, xbm.size() / 2)},
        {"color.tif", tiff},
        {"cut.tif", cut(tiff, tiff.size() / 2)},
        {"gray.pgm", encoded(gray, "PGM")},
        {"color.ppm", encoded(color, "PPM")},
        {"progressive.jpg", fixture::jpeg({w, h, false, true})},
    };
    for (const auto& [name, bytes] : others)
        fixture::writeFile(QDir(folder).filePath(name), bytes);
    std::printf("%zu files in %s\n", files.size() + others.size(), argv[1]);
    return 0;
}
