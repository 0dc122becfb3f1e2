// Image files: round trips, every BMP variant the loader reads, the result codes, and the
// calling convention of the file component.
#include "CaseName.h"
#include "ImageFileFixtures.h"
#include "QynBmpDecoder.h"
#include "QynBmpProbe.h"
#include "QynCalls.h"
#include "QynFileAccess.h"
#include "QynImage.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QImageWriter>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>

using fixture::Bytes;

namespace {

class FileAccessTest : public ::testing::Test {
protected:
    QString path(const QString& name) const { return dir.filePath(name); }

    // Writes the bytes to a file and loads it into a fresh slot.
    std::int32_t loadBytes(const Bytes& bytes, QynImage& slot, const QString& name = "t.bmp")
    {
        fixture::writeFile(path(name), bytes);
        return QynFileAccess::loadFile(path(name), slot);
    }

    QTemporaryDir dir;
};

template <class Row>
class FileAccessTable : public FileAccessTest, public ::testing::WithParamInterface<Row> {};

std::uint32_t pixel32(const QynImage& slot, int x, int y)
{
    const std::uint8_t* p = slot.pixels()->row(y) + 4 * x;
    return static_cast<std::uint32_t>(p[3]) << 24 | static_cast<std::uint32_t>(p[2]) << 16
        | static_cast<std::uint32_t>(p[1]) << 8 | p[0];
}

int pixel8(const QynImage& slot, int x, int y)
{
    return slot.pixels()->row(y)[x];
}

// A colour per pixel that differs between every neighbour, row and channel.
std::uint32_t rgbAt(int x, int y)
{
    return static_cast<std::uint32_t>((x * 40 + y) & 0xff) << 16
        | static_cast<std::uint32_t>((y * 50 + 7) & 0xff) << 8 | static_cast<std::uint32_t>((x * y * 3 + 1) & 0xff);
}

void expectColorImage(const QynImage& slot, int w, int h, const std::function<std::uint32_t(int, int)>& rgb)
{
    ASSERT_NE(slot.pixels(), nullptr);
    ASSERT_EQ(slot.pixels()->format(), QynPixelFormat::Color32);
    ASSERT_EQ(slot.width(), w);
    ASSERT_EQ(slot.height(), h);
    EXPECT_EQ(slot.bitDepth(), 32);
    EXPECT_EQ(slot.imageType(), 2);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            ASSERT_EQ(pixel32(slot, x, y), rgb(x, y)) << "at " << x << "," << y;
}

}  // namespace

// Guards against lost, shifted or shrunk pixels when a slot goes to a file and back, in
// every format we write: odd widths exercise row padding, the sizes that other formats'
// writers shrink or misstore (128, 257, 300) must come back as they were; exact pixels
// for every format but JPEG, whose sizes and kind must come back.
TEST_F(FileAccessTest, EveryFormatWrittenRoundTripsEverySize)
{
    const std::vector<std::pair<int, int>> sizes = {{1, 1}, {5, 9}, {37, 9}, {128, 128}, {257, 10}, {300, 300}};
    for (const char* ext : {"bmp", "png", "BMP", "tif", "pnm", "jpg"}) {
        for (auto format : {QynPixelFormat::Gray8, QynPixelFormat::Color32}) {
            for (const auto& [w, h] : sizes) {
                QynImage original, loaded;
                fixture::fillPattern(original, w, h, format, w);
                const QString suffix = QString(ext) != "pnm" ? QString(ext)
                                       : format == QynPixelFormat::Gray8 ? QStringLiteral("pgm") : QStringLiteral("ppm");
                const QString file = path(QString("rt%1x%2.%3").arg(w).arg(h).arg(suffix));
                ASSERT_EQ(QynFileAccess::saveFile(file, original), QynFileAccess::Success) << ext;
                ASSERT_EQ(QynFileAccess::loadFile(file, loaded), QynFileAccess::Success) << ext;
                if (QString(ext) == "jpg")
                    EXPECT_EQ(fixture::state(loaded).properties, fixture::state(original).properties) << w << "x" << h;
                else
                    EXPECT_EQ(fixture::state(loaded), fixture::state(original)) << ext << " " << w << "x" << h;
            }
        }
    }
}

// Guards against saving gray as 24-bit or colour with a palette: the header must say
// 8 bits with 256 gray entries, or 24 bits.
TEST_F(FileAccessTest, SavedBmpHeadersAreEightBitGrayOrTwentyFourBitColour)
{
    QynImage gray, color;
    fixture::fillPattern(gray, 3, 2, QynPixelFormat::Gray8);
    fixture::fillPattern(color, 3, 2, QynPixelFormat::Color32);
    ASSERT_EQ(QynFileAccess::saveFile(path("g.bmp"), gray), 0);
    ASSERT_EQ(QynFileAccess::saveFile(path("c.bmp"), color), 0);
    const Bytes g = fixture::readFile(path("g.bmp"));
    const Bytes c = fixture::readFile(path("c.bmp"));
    ASSERT_EQ(g.size(), 14u + 40 + 1024 + 2 * 4);
    EXPECT_EQ(g[28], 8);
    EXPECT_EQ(g[54 + 4 * 200], 200);  // palette entry 200 is gray 200
    EXPECT_EQ(g[54 + 4 * 200 + 2], 200);
    ASSERT_EQ(c.size(), 14u + 40 + 2 * 12);
    EXPECT_EQ(c[28], 24);
    const QImage viaQt(path("c.bmp"));
    ASSERT_FALSE(viaQt.isNull());
    EXPECT_EQ(viaQt.pixel(2, 1) & 0xffffff, pixel32(color, 2, 1));
}

// Guards against a gray file loading as colour (or the reverse): only an 8-bit palette
// that is all gray makes a gray slot, mapped through the palette, not read as raw indices.
TEST_F(FileAccessTest, EightBitPaletteDecidesGrayOrColour)
{
    // A gray palette that is no ramp: entry i is gray 255 - 2i, only 100 entries.
    std::vector<std::uint32_t> inverted(100);
    for (std::uint32_t i = 0; i < 100; ++i) {
        const std::uint32_t v = 255 - 2 * i;
        inverted[i] = v << 16 | v << 8 | v;
    }
    auto h = fixture::Header(7, 3, 8).withPalette(inverted).withColorsUsed(100);
    auto index = [](int x, int y) { return static_cast<std::uint32_t>(x * 10 + y); };
    QynImage slot;
    ASSERT_EQ(loadBytes(fixture::file(h, fixture::rows(7, 3, 8, index)), slot), 0);
    ASSERT_NE(slot.pixels(), nullptr);
    EXPECT_EQ(slot.pixels()->format(), QynPixelFormat::Gray8);
    EXPECT_EQ(slot.bitDepth(), 8);
    EXPECT_EQ(slot.imageType(), 0);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 7; ++x)
            ASSERT_EQ(pixel8(slot, x, y), 255 - 2 * (x * 10 + y));

    // One coloured entry, even an unused one, makes the file colour.
    h.palette = fixture::grayRamp();
    h.palette[255] = 0x0000ff;
    h.colorsUsed = 0;
    ASSERT_EQ(loadBytes(fixture::file(h, fixture::rows(7, 3, 8, index)), slot), 0);
    expectColorImage(slot, 7, 3, [](int x, int y) {
        const std::uint32_t v = static_cast<std::uint32_t>(x * 10 + y);
        return v << 16 | v << 8 | v;
    });
}

namespace {

struct BmpVariant {
    const char* name;
    fixture::Header header;
    Bytes data;
    std::function<std::uint32_t(int, int)> expected;
};

std::vector<BmpVariant> bmpVariants()
{
    const int w = 13, h = 5;
    const auto pal16 = fixture::colorPalette(16);
    const auto pal2 = fixture::colorPalette(2);
    const auto pal256 = fixture::colorPalette(256);
    auto rgb = [](int x, int y) { return rgbAt(x, y); };
    auto idx16 = [](int x, int y) { return static_cast<std::uint32_t>((x + 3 * y) % 16); };
    auto idx2 = [](int x, int y) { return static_cast<std::uint32_t>((x ^ y) & 1); };
    auto idx256 = [](int x, int y) { return static_cast<std::uint32_t>(x * 19 + y); };
    // 16-bit 5-5-5 of rgbAt with the low bits dropped, and what the loader scales it back to.
    auto word555 = [](int x, int y) {
        const std::uint32_t c = rgbAt(x, y);
        return ((c >> 19) & 31) << 10 | ((c >> 11) & 31) << 5 | ((c >> 3) & 31);
    };
    auto scale5 = [](std::uint32_t v) { return (v * 255 + 15) / 31; };
    auto from555 = [=](int x, int y) {
        const std::uint32_t v = word555(x, y);
        return scale5(v >> 10) << 16 | scale5((v >> 5) & 31) << 8 | scale5(v & 31);
    };
    auto word565 = [](int x, int y) {
        const std::uint32_t c = rgbAt(x, y);
        return ((c >> 19) & 31) << 11 | ((c >> 10) & 63) << 5 | ((c >> 3) & 31);
    };
    auto from565 = [=](int x, int y) {
        const std::uint32_t v = word565(x, y);
        return scale5(v >> 11) << 16 | ((((v >> 5) & 63) * 255 + 31) / 63) << 8 | scale5(v & 31);
    };

    return {
        {"24-bit", fixture::Header(w, h, 24), fixture::rows(w, h, 24, rgb), rgb},
        {"24-bit top-down", fixture::Header(w, -h, 24), fixture::rows(w, -h, 24, rgb), rgb},
        {"32-bit with alpha bytes", fixture::Header(w, h, 32),
         fixture::rows(w, h, 32, [](int x, int y) { return rgbAt(x, y) | 0xab000000; }), rgb},
        {"32-bit bitfields, B-G-R order", fixture::Header(w, h, 32).withCompression(3).withMasks({0x000000ff, 0x0000ff00, 0x00ff0000}),
         fixture::rows(w, h, 32, [](int x, int y) {
             const std::uint32_t c = rgbAt(x, y);
             return (c & 0xff) << 16 | (c & 0xff00) | c >> 16;
         }),
         rgb},
        {"32-bit V5 header", fixture::Header(w, h, 32).withCompression(3).withHeaderSize(124).withMasks({0x00ff0000, 0x0000ff00, 0x000000ff}),
         fixture::rows(w, h, 32, rgb), rgb},
        {"16-bit 5-5-5", fixture::Header(w, h, 16), fixture::rows(w, h, 16, word555), from555},
        {"16-bit 5-6-5 bitfields", fixture::Header(w, h, 16).withCompression(3).withMasks({0xf800, 0x07e0, 0x001f}),
         fixture::rows(w, h, 16, word565), from565},
        {"8-bit colour palette", fixture::Header(w, h, 8).withPalette(pal256),
         fixture::rows(w, h, 8, idx256),
         [=](int x, int y) { return pal256[idx256(x, y)]; }},
        {"4-bit", fixture::Header(w, h, 4).withPalette(pal16), fixture::rows(w, h, 4, idx16),
         [=](int x, int y) { return pal16[idx16(x, y)]; }},
        {"1-bit", fixture::Header(w, h, 1).withPalette(pal2), fixture::rows(w, h, 1, idx2),
         [=](int x, int y) { return pal2[idx2(x, y)]; }},
        {"1-bit top-down", fixture::Header(w, -h, 1).withPalette(pal2),
         fixture::rows(w, -h, 1, idx2), [=](int x, int y) { return pal2[idx2(x, y)]; }},
        {"24-bit core header", fixture::Header(w, h, 24).withHeaderSize(12),
         fixture::rows(w, h, 24, rgb), rgb},
        {"8-bit core header", fixture::Header(w, h, 8).withHeaderSize(12).withPalette(pal256),
         fixture::rows(w, h, 8, idx256), [=](int x, int y) { return pal256[idx256(x, y)]; }},
        {"pixel data after a gap", fixture::Header(w, h, 24).withDataOffset(200),
         fixture::rows(w, h, 24, rgb), rgb},
    };
}

constexpr int PngWidth = 11, PngHeight = 7;  // odd sides leave Adam7 passes partly empty

struct PngSample {
    std::string name;
    Bytes file;
    std::function<std::uint32_t(int, int)> expected;  // gray level, or 0xRRGGBB
    bool gray;
};

std::vector<PngSample> pngSamples()
{
    const int w = PngWidth, h = PngHeight;
    std::vector<PngSample> cases;
    for (int depth : {1, 2, 4, 8, 16}) {
        const int max = (1 << depth) - 1;
        auto sample = [max](int x, int y) { return static_cast<std::uint16_t>((x * 2749 + y * 7919) % (max + 1)); };
        for (bool keyed : {false, true})
            for (bool interlaced : {false, true}) {
                fixture::Png layout{w, h, depth, 0, interlaced, {}, {}, {}};
                for (int y = 0; y < h; ++y)
                    for (int x = 0; x < w; ++x)
                        layout.samples.push_back(sample(x, y));
                if (keyed)
                    layout.key = {sample(3, 2)};
                cases.push_back({"gray " + std::to_string(depth) + (keyed ? " keyed" : "") + (interlaced ? " interlaced" : ""),
                                 fixture::png(layout),
                                 [=](int x, int y) {
                                     return static_cast<std::uint32_t>(std::lround(sample(x, y) * 255.0 / max));
                                 },
                                 true});
            }
    }
    auto level = [](int x, int y) { return static_cast<std::uint16_t>((x * 23 + y * 31) & 0xff); };
    fixture::Png grayAlpha{w, h, 8, 4, false, {}, {}, {}};
    fixture::Png rgbKeyed{w, h, 8, 2, true, {}, {}, {}};
    fixture::Png twoLevel{w, h, 1, 3, false, {}, {}, {0x101010, 0xe0e0e0}};
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            grayAlpha.samples.insert(grayAlpha.samples.end(), {level(x, y), static_cast<std::uint16_t>(x * 20)});
            rgbKeyed.samples.insert(rgbKeyed.samples.end(), {level(x, y), 7, static_cast<std::uint16_t>(y)});
            twoLevel.samples.push_back(static_cast<std::uint16_t>((x + y) & 1));
        }
    rgbKeyed.key = {level(4, 1), 7, 1};
    cases.push_back({"gray with alpha", fixture::png(grayAlpha), [=](int x, int y) { return std::uint32_t{level(x, y)}; }, true});
    cases.push_back({"colour with a key", fixture::png(rgbKeyed),
                     [=](int x, int y) { return std::uint32_t{level(x, y)} << 16 | 7u << 8 | static_cast<std::uint32_t>(y); },
                     false});
    cases.push_back({"two-level gray palette", fixture::png(twoLevel),
                     [](int x, int y) { return ((x + y) & 1) ? 0xe0u : 0x10u; }, true});
    QImage mono(w, h, QImage::Format_Mono);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            mono.setPixel(x, y, static_cast<uint>((x * y) & 1));
    cases.push_back({"1-bit TIFF", fixture::encoded(mono, "TIFF"),
                     [=](int x, int y) { return qGray(mono.pixel(x, y)) == 0 ? 0u : 255u; }, true});
    return cases;
}

}  // namespace

// Guards against each decoding path of the BMP reader: bit depths, masks, RLE, row
// order and the old core header, each against the colours it was built from.
using EveryBmpVariant = FileAccessTable<BmpVariant>;
TEST_P(EveryBmpVariant, LoadsItsPixels)
{
    const BmpVariant& c = GetParam();
    QynImage slot;
    ASSERT_EQ(loadBytes(fixture::file(c.header, c.data), slot), QynFileAccess::Success);
    expectColorImage(slot, c.header.width, std::abs(c.header.height), c.expected);
}
INSTANTIATE_TEST_SUITE_P(FileAccess, EveryBmpVariant, ::testing::ValuesIn(bmpVariants()), NameOfCase());

// Guards against RLE decoding errors: repeated runs, literal runs with their padding,
// end-of-line, a delta jump (skipped pixels get palette entry 0), end-of-bitmap, and
// against refusing rows whose runs carry the row padding past the width.
TEST_F(FileAccessTest, RleEightAndFourBitLoad)
{
    const auto pal = fixture::colorPalette(256);
    // 6 x 3, bottom row first: run of 5 x 7, run of 1 x 1, end of line; literal {2,3,4}
    // padded to 16 bits, end of line; run of 6 x 9, end of bitmap.
    const Bytes rle8 = {5, 7, 1, 1, 0, 0, 0, 3, 2, 3, 4, 0, 0, 0, 6, 9, 0, 1};
    auto h = fixture::Header(6, 3, 8).withCompression(1).withPalette(pal);
    QynImage slot;
    ASSERT_EQ(loadBytes(fixture::file(h, rle8), slot), QynFileAccess::Success);
    const int expected8[3][6] = {{9, 9, 9, 9, 9, 9}, {2, 3, 4, 0, 0, 0}, {7, 7, 7, 7, 7, 1}};
    expectColorImage(slot, 6, 3, [&](int x, int y) { return pal[static_cast<std::size_t>(expected8[y][x])]; });

    // After the literal, a delta 2 right and 1 up to column 5 of the top row, one pixel 9.
    const Bytes delta = {5, 7, 1, 1, 0, 0, 0, 3, 2, 3, 4, 0, 0, 2, 2, 1, 1, 9, 0, 1};
    ASSERT_EQ(loadBytes(fixture::file(h, delta), slot), QynFileAccess::Success);
    const int delta8[3][6] = {{0, 0, 0, 0, 0, 9}, {2, 3, 4, 0, 0, 0}, {7, 7, 7, 7, 7, 1}};
    expectColorImage(slot, 6, 3, [&](int x, int y) { return pal[static_cast<std::size_t>(delta8[y][x])]; });

    // RLE4: 5 x 3, bottom row: run of 5 alternating 0xA,0xB; row 1: literal 1,2,3 (2 bytes,
    // padded to 2); row 2 (top): run of 5 x 0xC.
    const auto pal16 = fixture::colorPalette(16);
    auto h4 = fixture::Header(5, 3, 4).withCompression(2).withPalette(pal16);
    const Bytes rle4 = {5, 0xab, 0, 0, 0, 3, 0x12, 0x30, 0, 0, 5, 0xcc, 0, 1};
    ASSERT_EQ(loadBytes(fixture::file(h4, rle4), slot), QynFileAccess::Success);
    const int expected4[3][5] = {{12, 12, 12, 12, 12}, {1, 2, 3, 0, 0}, {10, 11, 10, 11, 10}};
    expectColorImage(slot, 5, 3, [&](int x, int y) { return pal16[static_cast<std::size_t>(expected4[y][x])]; });

    // Rows encoded with their padding, as some writers do: a run of 8 and a literal of 7
    // in rows of 6 pixels keep their first 6 pixels, and the literal's bytes are skipped.
    const Bytes padded = {8, 7, 0, 0, 0, 7, 1, 2, 3, 4, 5, 6, 7, 0, 0, 0, 6, 9, 2, 4, 0, 1};
    ASSERT_EQ(loadBytes(fixture::file(h, padded), slot), QynFileAccess::Success);
    const int padded8[3][6] = {{9, 9, 9, 9, 9, 9}, {1, 2, 3, 4, 5, 6}, {7, 7, 7, 7, 7, 7}};
    expectColorImage(slot, 6, 3, [&](int x, int y) { return pal[static_cast<std::size_t>(padded8[y][x])]; });

    // The pixels cut off a run (encoded, then literal) land nowhere: the next row skips
    // its first two pixels with a delta, so anything spilled there would show.
    const int spill8[3][6] = {{9, 9, 9, 9, 9, 9}, {0, 0, 9, 9, 9, 9}, {7, 7, 7, 7, 7, 7}};
    for (const Bytes& spill : {Bytes{8, 7, 0, 0, 0, 2, 2, 0, 4, 9, 0, 0, 6, 9, 0, 1},
                               Bytes{0, 8, 7, 7, 7, 7, 7, 7, 5, 5, 0, 0, 0, 2, 2, 0, 4, 9, 0, 0, 6, 9, 0, 1}}) {
        ASSERT_EQ(loadBytes(fixture::file(h, spill), slot), QynFileAccess::Success);
        expectColorImage(slot, 6, 3, [&](int x, int y) { return pal[static_cast<std::size_t>(spill8[y][x])]; });
    }

    // RLE8 with a gray palette is a file of gray pixels: it loads gray.
    h.palette = fixture::grayRamp();
    ASSERT_EQ(loadBytes(fixture::file(h, rle8), slot), QynFileAccess::Success);
    ASSERT_EQ(slot.pixels()->format(), QynPixelFormat::Gray8);
    EXPECT_EQ(pixel8(slot, 5, 2), 1);
    EXPECT_EQ(pixel8(slot, 0, 1), 2);
}

// Guards against Qt's other formats loading in the wrong slot format: gray PNG and JPEG
// give gray slots, colour ones colour slots, and the content decides, not the name.
TEST_F(FileAccessTest, PngAndJpegLoadGrayOrColourByContent)
{
    QImage gray(20, 10, QImage::Format_Grayscale8);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 20; ++x)
            gray.scanLine(y)[x] = static_cast<uchar>(x * 12 + y);
    QImage color(20, 10, QImage::Format_RGB32);
    color.fill(QColor(200, 30, 90));
    ASSERT_TRUE(gray.save(path("g.png")));
    ASSERT_TRUE(gray.save(path("g.jpg"), nullptr, 100));
    ASSERT_TRUE(color.save(path("c.jpg"), nullptr, 100));
    ASSERT_TRUE(color.save(path("png-named.bmp"), "PNG"));

    QynImage slot;
    ASSERT_EQ(QynFileAccess::loadFile(path("g.png"), slot), 0);
    ASSERT_EQ(slot.pixels()->format(), QynPixelFormat::Gray8);
    EXPECT_EQ(pixel8(slot, 19, 9), 19 * 12 + 9);
    ASSERT_EQ(QynFileAccess::loadFile(path("g.jpg"), slot), 0);
    EXPECT_EQ(slot.pixels()->format(), QynPixelFormat::Gray8);
    ASSERT_EQ(QynFileAccess::loadFile(path("c.jpg"), slot), 0);
    EXPECT_EQ(slot.pixels()->format(), QynPixelFormat::Color32);
    EXPECT_NEAR(static_cast<int>((pixel32(slot, 5, 5) >> 16) & 0xff), 200, 4);
    EXPECT_EQ(pixel32(slot, 5, 5) >> 24, 0u);  // the X byte stays 0
    ASSERT_EQ(QynFileAccess::loadFile(path("png-named.bmp"), slot), 0);
    expectColorImage(slot, 20, 10, [](int, int) { return 0xc81e5au; });
}

// Guards against PNG samples changed on the way in: every gray depth, with and without a
// transparency key, interlaced or not, loads gray with its samples scaled to 8 bits (the
// key not applied); so do gray with alpha, two-level palettes and 1-bit TIFF; colour
// pixels that match a key keep their colour.
using PngSamples = FileAccessTable<PngSample>;
TEST_P(PngSamples, LoadAsTheFileHoldsThem)
{
    const PngSample& c = GetParam();
    QynImage slot;
    ASSERT_EQ(loadBytes(c.file, slot, "t.png"), QynFileAccess::Success);
    if (!c.gray) {
        expectColorImage(slot, PngWidth, PngHeight, c.expected);
        return;
    }
    ASSERT_EQ(slot.pixels()->format(), QynPixelFormat::Gray8);
    for (int y = 0; y < PngHeight; ++y)
        for (int x = 0; x < PngWidth; ++x)
            ASSERT_EQ(static_cast<std::uint32_t>(pixel8(slot, x, y)), c.expected(x, y)) << "at " << x << "," << y;
}
INSTANTIATE_TEST_SUITE_P(FileAccess, PngSamples, ::testing::ValuesIn(pngSamples()), NameOfCase());

// Guards against a size limit that is off by one or missing: 16384 pixels a side load,
// 16385 do not.
TEST_F(FileAccessTest, SidesUpToTheLimitLoad)
{
    for (const auto& [w, h] : {std::pair{QynFileAccess::MaxSide, 1}, std::pair{1, QynFileAccess::MaxSide}}) {
        QynImage slot;
        auto header = fixture::Header(w, h, 8).withPalette(fixture::grayRamp());
        ASSERT_EQ(loadBytes(fixture::file(header, fixture::rows(w, h, 8, [](int x, int y) {
                                return static_cast<std::uint32_t>((x + y) & 0xff);
                            })),
                            slot),
                  QynFileAccess::Success);
        EXPECT_EQ(pixel8(slot, w - 1, h - 1), (w + h - 2) & 0xff);
    }
    QynImage slot;
    auto header = fixture::Header(QynFileAccess::MaxSide + 1, 1, 24);
    EXPECT_EQ(loadBytes(fixture::file(header, Bytes(3 * 16388, 0)), slot), QynFileAccess::TooLarge);
}

// Guards the reads of an opened file at offsets, by two threads for a large image (colour
// through the unpacking, gray with row padding straight into the slot) and by one for a
// smaller one: every row lands where it belongs, and a file cut after its header was read
// (early or late) gives Truncated and no image at all.
TEST_F(FileAccessTest, BmpRowsReadAtOffsetsLandWhereTheyBelongAndACutGivesNoImage)
{
    const int h = 4100;
    const auto grayAt = [](int x, int y) { return static_cast<std::uint32_t>((x * 3 + y * 5) & 0xff); };
    struct Case {
        int width;
        int bits;
    };
    // 33.6 MB in the slot for the first two (two threads), 4.1 MB for the last (one).
    for (const Case& c : {Case{2048, 24}, Case{8190, 8}, Case{1001, 8}}) {
        const int w = c.width;
        const bool gray = c.bits == 8;
        auto header = fixture::Header(w, h, c.bits);
        if (gray)
            header.withPalette(fixture::grayRamp());
        const Bytes good = fixture::file(header, fixture::rows(w, h, c.bits, gray ? std::function(grayAt) : rgbAt));
        const std::size_t rowBytes = (static_cast<std::size_t>(w) * (gray ? 1 : 3) + 3) & ~std::size_t{3};
        const std::size_t pixelStart = good.size() - rowBytes * h;
        QynImage slot;
        ASSERT_EQ(loadBytes(good, slot), QynFileAccess::Success) << c.bits;
        if (gray) {
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x)
                    ASSERT_EQ(pixel8(slot, x, y), static_cast<int>(grayAt(x, y))) << "at " << x << "," << y;
        } else {
            expectColorImage(slot, w, h, rgbAt);
        }

        QynBmpInfo info;
        ASSERT_EQ(QynBmpProbe::probe(good, info), QynFileAccess::Success);
        for (const int keptRows : {h / 4, 3 * h / 4}) {
            fixture::writeFile(path("cut.bmp"), Bytes(good.begin(), good.begin() + pixelStart + rowBytes * keptRows));
            QFile file(path("cut.bmp"));
            ASSERT_TRUE(file.open(QIODevice::ReadOnly));
            std::shared_ptr<QynPixelBuffer> pixels;
            EXPECT_EQ(QynBmpDecoder::decode(file, info, pixels), QynFileAccess::Truncated) << c.bits << " " << keptRows;
            EXPECT_EQ(pixels, nullptr) << c.bits << " " << keptRows;
        }
    }
}

// Guards against a failure going unreported or reported with the wrong meaning, and
// against a failed load touching the slot: one code per kind of problem.
TEST_F(FileAccessTest, EachLoadFailureHasItsCodeAndLeavesTheSlotAlone)
{
    ASSERT_TRUE(QDir(dir.path()).mkdir("folder.bmp"));
    fixture::writeFile(path("text.bmp"), {'h', 'e', 'l', 'l', 'o'});
    fixture::writeFile(path("notes.txt"), {'h', 'e', 'l', 'l', 'o'});
    const Bytes good = fixture::file(fixture::Header(8, 8, 24), fixture::rows(8, 8, 24, rgbAt));
    fixture::writeFile(path("cut.bmp"), Bytes(good.begin(), good.end() - 10));
    fixture::writeFile(path("huge.bmp"),
                       fixture::file(fixture::Header(100000, 100000, 24), Bytes(64, 0)));
    ASSERT_TRUE(QFile::link(path("loop.bmp"), path("loop.bmp")));  // a link to itself

    const std::vector<std::pair<QString, std::int32_t>> cases = {
        {"", QynFileAccess::NoPath},
        {path("missing.bmp"), QynFileAccess::FileNotFound},
        {path("loop.bmp"), QynFileAccess::NotReadable},
        {path("folder.bmp"), QynFileAccess::NotReadable},
        {path("text.bmp"), QynFileAccess::NotAnImage},
        {path("notes.txt"), QynFileAccess::NotAnImage},
        {path("cut.bmp"), QynFileAccess::Truncated},
        {path("huge.bmp"), QynFileAccess::TooLarge},
    };
    QynImage slot;
    fixture::fillPattern(slot, 9, 4, QynPixelFormat::Color32, 3);
    const fixture::SlotState before = fixture::state(slot);
    for (const auto& [file, code] : cases) {
        EXPECT_EQ(QynFileAccess::loadFile(file, slot), code) << file.toStdString();
        EXPECT_EQ(fixture::state(slot), before) << file.toStdString();
    }
}

// Guards against saving pixels the slot does not offer: an empty slot, or one whose
// properties were changed to describe no known format, writes nothing.
TEST_F(FileAccessTest, NothingToSaveLeavesNoFile)
{
    QynImage empty;
    EXPECT_EQ(QynFileAccess::saveFile(path("a.bmp"), empty), QynFileAccess::NothingToSave);
    QynImage half;
    fixture::fillPattern(half, 4, 4, QynPixelFormat::Gray8);
    ASSERT_EQ(qyn::put(half, QynImage::BitDepth, 32), QynStatus::Ok);  // 32 with type 0
    EXPECT_EQ(QynFileAccess::saveFile(path("b.bmp"), half), QynFileAccess::NothingToSave);
    EXPECT_EQ(QynFileAccess::saveFile("", half), QynFileAccess::NoPath);
    EXPECT_TRUE(fixture::entries(dir.path()).isEmpty());
}

// Guards against the extension being ignored, or an unknown one producing no file: Qt's
// formats by their signatures, BMP for anything else.
TEST_F(FileAccessTest, SaveFormatFollowsTheExtension)
{
    QynImage slot;
    fixture::fillPattern(slot, 6, 5, QynPixelFormat::Color32);
    const std::vector<std::pair<QString, Bytes>> cases = {
        {"x.png", {0x89, 'P', 'N', 'G'}}, {"x.jpg", {0xff, 0xd8, 0xff}},
        {"x.JPEG", {0xff, 0xd8, 0xff}},   {"x.tif", {'I', 'I', 42, 0}},
        {"x.raw", {'B', 'M'}},            {"noextension", {'B', 'M'}},
        {"x.bmp", {'B', 'M'}},
    };
    for (const auto& [name, magic] : cases) {
        ASSERT_EQ(QynFileAccess::saveFile(path(name), slot), QynFileAccess::Success) << name.toStdString();
        const Bytes written = fixture::readFile(path(name));
        ASSERT_GE(written.size(), magic.size());
        EXPECT_TRUE(std::equal(magic.begin(), magic.end(), written.begin())) << name.toStdString();
    }
    // A BMP under another name still loads: the content decides.
    QynImage back;
    ASSERT_EQ(QynFileAccess::loadFile(path("x.raw"), back), 0);
    EXPECT_EQ(fixture::state(back), fixture::state(slot));
}

// Guards the PNG and JPEG writers that replaced Qt's: for gray and colour slots (odd
// sizes too) the file holds the very bytes Qt's writer made of the same pixels before.
TEST_F(FileAccessTest, PngAndJpegFilesHoldTheBytesQtsWritersMade)
{
    for (const char* suffix : {"png", "jpg"}) {
        for (const auto format : {QynPixelFormat::Gray8, QynPixelFormat::Color32}) {
            for (const QSize size : {QSize(37, 23), QSize(64, 48)}) {
                QynImage slot;
                fixture::fillPattern(slot, size.width(), size.height(), format);
                const QynPixelBuffer& px = *slot.pixels();
                const QImage image = format == QynPixelFormat::Gray8
                    ? QImage(px.data(), px.width(), px.height(), px.stride(), QImage::Format_Grayscale8)
                    : QImage(px.data(), px.width(), px.height(), px.stride(), QImage::Format_RGB32)
                          .convertToFormat(QImage::Format_RGB888);
                QByteArray expected;
                QBuffer buffer(&expected);
                ASSERT_TRUE(buffer.open(QIODevice::WriteOnly));
                ASSERT_TRUE(QImageWriter(&buffer, suffix).write(image));
                const QString name = path(QStringLiteral("q.%1").arg(QLatin1String(suffix)));
                ASSERT_EQ(QynFileAccess::saveFile(name, slot), QynFileAccess::Success);
                const Bytes written = fixture::readFile(name);
                EXPECT_TRUE(written == Bytes(expected.begin(), expected.end()))
                    << suffix << " " << size.width() << " x " << size.height()
                    << (format == QynPixelFormat::Gray8 ? " gray" : " colour");
            }
        }
    }
}

// Guards against the dispatch entry points: FilePath, LoadImage, SaveImage and
// GetLastResult by id, and bad arguments failing the call and leaving a code.
TEST_F(FileAccessTest, CallsThroughInvokeReportThroughGetLastResult)
{
    QynFileAccess files;
    QynImage source, target;
    fixture::fillPattern(source, 5, 4, QynPixelFormat::Gray8);
    std::int32_t code = -1;

    ASSERT_EQ(qyn::put(files, QynFileAccess::FilePath, path("d.bmp")), QynStatus::Ok);
    EXPECT_EQ(qyn::call(files, QynFileAccess::SaveImage, {static_cast<QynComponent*>(&source)}), QynStatus::Ok);
    EXPECT_EQ(qyn::call(files, QynFileAccess::GetLastResult, {&code}), QynStatus::Ok);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(qyn::call(files, QynFileAccess::LoadImage, {static_cast<QynComponent*>(&target)}), QynStatus::Ok);
    EXPECT_EQ(fixture::state(target), fixture::state(source));
    const QynCallResult read = files.invoke(QynFileAccess::FilePath, QynCallKind::PropertyGet, {});
    EXPECT_EQ(std::get<QString>(read.value), path("d.bmp"));

    // A file problem: the call succeeds, the code tells.
    ASSERT_EQ(qyn::put(files, QynFileAccess::FilePath, path("none.bmp")), QynStatus::Ok);
    EXPECT_EQ(qyn::call(files, QynFileAccess::LoadImage, {static_cast<QynComponent*>(&target)}), QynStatus::Ok);
    EXPECT_EQ(qyn::call(files, QynFileAccess::GetLastResult, {&code}), QynStatus::Ok);
    EXPECT_EQ(code, QynFileAccess::FileNotFound);

    // Bad arguments: the call fails and the code is set.
    EXPECT_EQ(qyn::call(files, QynFileAccess::LoadImage, {static_cast<QynComponent*>(nullptr)}),
              QynStatus::NullReference);
    EXPECT_EQ(qyn::call(files, QynFileAccess::GetLastResult, {&code}), QynStatus::Ok);
    EXPECT_EQ(code, QynFileAccess::BadArgument);
    EXPECT_EQ(qyn::call(files, QynFileAccess::SaveImage, {std::int32_t{3}}), QynStatus::TypeMismatch);
    EXPECT_EQ(qyn::call(files, QynFileAccess::SaveImage, {}), QynStatus::BadArgCount);
    EXPECT_EQ(qyn::call(files, QynFileAccess::SaveImage, {static_cast<QynComponent*>(&files)}),
              QynStatus::TypeMismatch);
    EXPECT_EQ(qyn::call(files, QynFileAccess::GetLastResult, {static_cast<std::int32_t*>(nullptr)}),
              QynStatus::NullReference);
    EXPECT_EQ(qyn::put(files, QynFileAccess::FilePath, std::int32_t{1}), QynStatus::TypeMismatch);
    EXPECT_EQ(qyn::call(files, 999), QynStatus::UnknownMember);
    EXPECT_EQ(fixture::state(target), fixture::state(source));
}
