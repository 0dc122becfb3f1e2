// Hostile and broken image files: every one must end in its documented result code with
// the slot exactly as it was, never a crash, a hang or an image with invented pixels.
#include "CaseName.h"
#include "ImageFileFixtures.h"
#include "QynFileAccess.h"
#include "QynImage.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <string_view>

using fixture::Bytes;
using fixture::Header;

namespace {

struct Case {
    std::string name;
    Bytes bytes;
    std::int32_t code;
};

std::uint32_t rgbAt(int x, int y)
{
    return static_cast<std::uint32_t>(x * 30 + y) << 16 | static_cast<std::uint32_t>(y * 40) << 8 | 77;
}

std::uint32_t indexAt(int x, int y)
{
    return static_cast<std::uint32_t>(x + 2 * y) & 15;
}

Bytes qtEncoded(const char* format, QImage::Format imageFormat = QImage::Format_RGB32)
{
    QImage image(40, 30, QImage::Format_RGB32);
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x)
            image.setPixel(x, y, rgbAt(x, y) | 0xff000000);
    return fixture::encoded(image.convertToFormat(imageFormat), format);
}

// Noise compresses badly: half of this file is half of its scan.
Bytes noisyJpeg()
{
    QImage image(100, 100, QImage::Format_RGB32);
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 100; ++x)
            image.setPixel(x, y, (static_cast<uint>(x * 7919 + y * 104729) * 2654435761u) | 0xff000000);
    return fixture::encoded(image, "JPEG");
}

Bytes appended(Bytes bytes, const Bytes& tail)
{
    bytes.insert(bytes.end(), tail.begin(), tail.end());
    return bytes;
}

// A JPEG whose frame header claims sides it has no data for.
Bytes lyingJpeg(Bytes jpeg, int side)
{
    for (std::size_t i = 2; i + 9 < jpeg.size(); ++i)
        if (jpeg[i] == 0xff && jpeg[i + 1] == 0xc0) {
            for (std::size_t at : {i + 5, i + 7}) {
                jpeg[at] = static_cast<std::uint8_t>(side >> 8);
                jpeg[at + 1] = static_cast<std::uint8_t>(side);
            }
            break;
        }
    return jpeg;
}

Bytes grayGif()
{
    std::vector<std::uint8_t> indices;
    for (int i = 0; i < 40 * 30; ++i)
        indices.push_back(static_cast<std::uint8_t>(i * 7));
    std::vector<std::uint32_t> palette = fixture::grayRamp();
    return fixture::gif(40, 30, indices, palette);
}

using fixture::cut;

Bytes text(std::string_view t)
{
    return Bytes(t.begin(), t.end());
}

// The offset of the last scan's header (FF DA) of a JPEG.
std::size_t lastScan(const Bytes& jpeg)
{
    std::size_t at = 0;
    for (std::size_t i = 2; i + 1 < jpeg.size(); ++i)
        if (jpeg[i] == 0xff && jpeg[i + 1] == 0xda)
            at = i;
    return at;
}

// A progressive JPEG whose first AC scan (with the tables before it) comes `times` times.
Bytes repeatedScan(int times)
{
    const Bytes jpeg = fixture::jpeg({64, 64, true, true});
    std::vector<std::size_t> scans;
    for (std::size_t i = 2; i + 1 < jpeg.size(); ++i)
        if (jpeg[i] == 0xff && jpeg[i + 1] == 0xda)
            scans.push_back(i);
    std::size_t start = scans[0] + 2;  // the first marker after the DC scan's data
    while (!(jpeg[start] == 0xff && jpeg[start + 1] != 0 && (jpeg[start + 1] & 0xf8) != 0xd0))
        ++start;
    const auto at = [&](std::size_t i) { return jpeg.begin() + static_cast<std::ptrdiff_t>(i); };
    Bytes out(jpeg.begin(), at(start));
    for (int i = 0; i < times; ++i)
        out.insert(out.end(), at(start), at(scans[2]));
    out.insert(out.end(), at(scans[2]), jpeg.end());
    return out;
}

// A small progressive JPEG whose frame header claims 16384 x 16384, with comments enough
// that its size does not give it away.
Bytes largeProgressive()
{
    Bytes jpeg = fixture::jpeg({64, 64, true, true});
    for (std::size_t i = 2; i + 9 < jpeg.size(); ++i)
        if (jpeg[i] == 0xff && jpeg[i + 1] == 0xc2) {
            for (std::size_t at : {i + 5, i + 7}) {
                jpeg[at] = 0x40;
                jpeg[at + 1] = 0;
            }
            break;
        }
    Bytes comment{0xff, 0xfe, 0xff, 0xff};
    comment.resize(2 + 0xffff, 'c');
    for (int i = 0; i < 10; ++i)
        jpeg.insert(jpeg.begin() + 2, comment.begin(), comment.end());
    return jpeg;
}

Bytes rleFile(const Bytes& stream, int width = 4, int height = 2)
{
    return fixture::file(Header(width, height, 8).withCompression(1).withPalette(fixture::colorPalette(256)),
                         stream);
}

// A filled slot to check every failure against.
class BrokenFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        fixture::fillPattern(slot, 11, 7, QynPixelFormat::Color32, 5);
        before = fixture::state(slot);
    }

    QTemporaryDir dir;
    QynImage slot;
    fixture::SlotState before;
};

template <class Row>
class BrokenFileTable : public BrokenFiles, public ::testing::WithParamInterface<Row> {};

std::vector<Case> brokenFiles()
{
    const int w = 8, h = 6;
    const Bytes rgb24 = fixture::file(Header(w, h, 24), fixture::rows(w, h, 24, rgbAt));
    const Bytes pal8 =
        fixture::file(Header(w, h, 8).withPalette(fixture::grayRamp()), fixture::rows(w, h, 8, indexAt));
    const std::size_t pixels8 = 14 + 40 + 1024;
    const Bytes png = qtEncoded("PNG");
    const Bytes jpeg = qtEncoded("JPEG");
    const Bytes noisy = noisyJpeg();
    const Bytes gif = grayGif();
    const Bytes xbm = qtEncoded("XBM", QImage::Format_Mono);
    const std::size_t xbmData = std::string_view(reinterpret_cast<const char*>(xbm.data()), xbm.size()).find("0x");
    const Bytes tiff = qtEncoded("TIFF");
    const Bytes progressive = fixture::jpeg({40, 30, false, true});
    const Bytes pgm = qtEncoded("PGM", QImage::Format_Grayscale8);
    const Bytes rows24 = fixture::rows(w, h, 24, rgbAt);
    auto header24 = [&](int width, int height) { return fixture::file(Header(width, height, 24), Bytes(64, 0)); };

    return {
        {"empty file", {}, QynFileAccess::NotAnImage},
        {"only the signature", {'B', 'M'}, QynFileAccess::Truncated},
        {"cut in the file header", cut(rgb24, 10), QynFileAccess::Truncated},
        {"cut after the file header", cut(rgb24, 14), QynFileAccess::Truncated},
        {"cut after the header size", cut(rgb24, 18), QynFileAccess::Truncated},
        {"cut inside the info header", cut(rgb24, 40), QynFileAccess::Truncated},
        {"cut after the info header", cut(rgb24, 54), QynFileAccess::Truncated},
        {"cut inside the palette", cut(pal8, 54 + 512), QynFileAccess::Truncated},
        {"cut after the palette", cut(pal8, pixels8), QynFileAccess::Truncated},
        {"cut at half the pixels", cut(rgb24, 54 + rows24.size() / 2), QynFileAccess::Truncated},
        {"one byte short", cut(rgb24, rgb24.size() - 1), QynFileAccess::Truncated},
        {"8-bit cut at half the pixels", cut(pal8, pixels8 + 24), QynFileAccess::Truncated},
        {"pixel data starts past the end", fixture::file(Header(w, h, 24).withDataOffset(100000), {}),
         QynFileAccess::Truncated},
        {"pixel data starts inside the header", fixture::file(Header(w, h, 24).withDataOffset(20), rows24),
         QynFileAccess::NotAnImage},
        {"w x h x 4 past 2^31", header24(65536, 32768), QynFileAccess::TooLarge},
        {"w x h x 4 past 2^63", header24(INT_MAX, INT_MAX), QynFileAccess::TooLarge},
        {"height INT_MIN", header24(8, INT_MIN), QynFileAccess::TooLarge},
        {"largest allowed size, no pixels", header24(16384, 16384), QynFileAccess::Truncated},
        {"zero width", header24(0, 5), QynFileAccess::NotAnImage},
        {"zero height", header24(5, 0), QynFileAccess::NotAnImage},
        {"negative width", header24(-5, 5), QynFileAccess::NotAnImage},
        {"palette longer than the file",
         cut(fixture::file(Header(w, h, 8).withPalette(fixture::colorPalette(256)), {}), 54 + 40),
         QynFileAccess::Truncated},
        {"palette count of 2^31",
         fixture::file(Header(w, h, 8).withPalette(fixture::grayRamp()).withColorsUsed(0x80000000u),
                       fixture::rows(w, h, 8, indexAt)),
         QynFileAccess::NotAnImage},
        {"palette of 300 entries for 8 bits",
         fixture::file(Header(w, h, 8).withColorsUsed(300).withPalette(fixture::colorPalette(256)),
                       fixture::rows(w, h, 8, indexAt)),
         QynFileAccess::NotAnImage},
        {"header size 0", fixture::file(Header(w, h, 24).withHeaderSize(0), rows24), QynFileAccess::NotAnImage},
        {"header size 1000", fixture::file(Header(w, h, 24).withHeaderSize(1000), rows24),
         QynFileAccess::NotAnImage},
        {"7 bits a pixel", fixture::file(Header(w, h, 7), rows24), QynFileAccess::NotAnImage},
        {"embedded JPEG", fixture::file(Header(w, h, 24).withCompression(4), rows24), QynFileAccess::NotAnImage},
        {"unknown compression", fixture::file(Header(w, h, 24).withCompression(77), rows24),
         QynFileAccess::NotAnImage},
        {"RLE8 with 24 bits", fixture::file(Header(w, h, 24).withCompression(1), rows24),
         QynFileAccess::NotAnImage},
        {"bitfields with 24 bits", fixture::file(Header(w, h, 24).withCompression(3).withMasks({1, 2, 4}), rows24),
         QynFileAccess::NotAnImage},
        {"split mask", fixture::file(Header(w, h, 32).withCompression(3).withMasks({0xf0f0, 0xff0000, 0xff}),
                                     fixture::rows(w, h, 32, rgbAt)),
         QynFileAccess::NotAnImage},
        {"16-bit mask wider than the pixel",
         fixture::file(Header(w, h, 16).withCompression(3).withMasks({0x1f0000, 0x3e0, 0x1f}),
                       fixture::rows(w, h, 16, indexAt)),
         QynFileAccess::NotAnImage},
        {"masks cut off", cut(fixture::file(Header(w, h, 32).withCompression(3).withMasks({0xff0000, 0xff00, 0xff}),
                                            {}),
                              60),
         QynFileAccess::Truncated},
        {"RLE delta past the image", rleFile({0, 2, 1, 9, 0, 1}), QynFileAccess::NotAnImage},
        {"RLE run after the last row", rleFile({4, 1, 0, 0, 4, 1, 0, 0, 4, 1, 0, 1}), QynFileAccess::NotAnImage},
        {"RLE stream ends in the first row", rleFile({2, 1}), QynFileAccess::Truncated},
        {"RLE stream ends without its last row", rleFile({4, 1, 0, 0}), QynFileAccess::Truncated},
        {"RLE literal cut by the file end", rleFile({4, 1, 0, 0, 0, 4, 1, 2}), QynFileAccess::Truncated},
        {"RLE delta cut by the file end", rleFile({0, 2, 1}), QynFileAccess::Truncated},
        {"RLE with no stream at all", rleFile({}), QynFileAccess::Truncated},
        {"PNG cut in half", cut(png, png.size() / 2), QynFileAccess::Truncated},
        {"PNG cut to its signature", cut(png, 8), QynFileAccess::NotAnImage},
        {"JPEG cut short of its end", cut(jpeg, jpeg.size() - 40), QynFileAccess::Truncated},
        {"JPEG cut in its header", cut(jpeg, 20), QynFileAccess::NotAnImage},
        {"JPEG cut in half", cut(noisy, noisy.size() / 2), QynFileAccess::Truncated},
        {"JPEG cut in half, end marker appended", appended(cut(noisy, noisy.size() / 2), {0xff, 0xd9}),
         QynFileAccess::Truncated},
        {"JPEG frame header claims 16384 x 16384", lyingJpeg(jpeg, 16384), QynFileAccess::Truncated},
        {"JPEG frame header claims 16385 x 16385", lyingJpeg(jpeg, 16385), QynFileAccess::TooLarge},
        {"GIF cut in half", cut(gif, gif.size() / 2), QynFileAccess::NotAnImage},
        {"GIF without its trailer", cut(gif, gif.size() - 1), QynFileAccess::NotAnImage},
        {"XBM with 2 data bytes", cut(xbm, xbmData + 10),
         QynFileAccess::NotAnImage},
        {"JPEG without its end marker", cut(jpeg, jpeg.size() - 2), QynFileAccess::Truncated},
        {"TIFF cut in half", cut(tiff, tiff.size() / 2), QynFileAccess::NotAnImage},
        {"progressive JPEG cut at its last scan, end marker put back",
         appended(cut(progressive, lastScan(progressive)), {0xff, 0xd9}), QynFileAccess::Truncated},
        {"arithmetic-coded JPEG", fixture::jpeg({16, 16, false, false, true}), QynFileAccess::NotAnImage},
        {"PNG palette index past the palette",
         fixture::png({.width = 2, .height = 1, .colorType = 3, .samples = {1, 9}, .key = {}, .palette = {0xff0000, 0xff00}}),
         QynFileAccess::NotAnImage},
        {"ASCII PPM cut inside its last number", text("P3\n1 1\n255\n10 20 25"), QynFileAccess::NotAnImage},
        {"PGM cut in half", cut(pgm, pgm.size() / 2), QynFileAccess::Truncated},
        {"PPM claims 16384 x 16384", text("P6\n16384 16384\n255\nabc"), QynFileAccess::Truncated},
        {"PGM of 16385 pixels a side", text("P5 16385 1 255\n"), QynFileAccess::TooLarge},
        {"text", {'n', 'o', 't', ' ', 'a', 'n', ' ', 'i', 'm', 'a', 'g', 'e'}, QynFileAccess::NotAnImage},
    };
}

struct WholeBmp {
    const char* name;
    Bytes file;
    std::size_t lastPadding;  // bytes after the last row's pixels
};

std::vector<WholeBmp> uncompressedBmps()
{
    const int w = 5, h = 3;
    const auto palette16 = fixture::colorPalette(16);
    return {
        {"24-bit", fixture::file(Header(w, h, 24), fixture::rows(w, h, 24, rgbAt)), 1},
        {"32-bit top-down", fixture::file(Header(w, -h, 32), fixture::rows(w, -h, 32, rgbAt)), 0},
        {"4-bit", fixture::file(Header(w, h, 4).withPalette(palette16), fixture::rows(w, h, 4, indexAt)), 1},
        {"8-bit", fixture::file(Header(w, h, 8).withPalette(fixture::grayRamp()), fixture::rows(w, h, 8, indexAt)), 3},
        {"24-bit core header", fixture::file(Header(w, h, 24).withHeaderSize(12), fixture::rows(w, h, 24, rgbAt)), 1},
        {"16-bit bitfields", fixture::file(Header(w, h, 16).withCompression(3).withMasks({0xf800, 0x7e0, 0x1f}),
                                           fixture::rows(w, h, 16, indexAt)),
         2},
    };
}

struct HugeFile {
    const char* name;
    Bytes start;
};

std::vector<HugeFile> hugeFiles()
{
    return {
        {"zeros named .bmp", {}},
        {"BMP of 100 x 100", fixture::file(Header(100, 100, 24), fixture::rows(100, 100, 24, rgbAt))},
        {"PNG", qtEncoded("PNG")},
        {"JPEG", qtEncoded("JPEG")},
        {"TIFF", qtEncoded("TIFF")},
        {"GIF", grayGif()},
    };
}

}  // namespace

// Guards against any broken header, palette, size or RLE stream getting through as an
// image, or through with a wrong code, and against a failure touching the slot.
using EachBrokenFile = BrokenFileTable<Case>;
TEST_P(EachBrokenFile, EndsInItsCodeWithTheSlotUntouched)
{
    const QString path = dir.filePath("broken.bmp");
    fixture::writeFile(path, GetParam().bytes);
    EXPECT_EQ(QynFileAccess::loadFile(path, slot), GetParam().code);
    EXPECT_EQ(fixture::state(slot), before);
}
INSTANTIATE_TEST_SUITE_P(BrokenFiles, EachBrokenFile, ::testing::ValuesIn(brokenFiles()), NameOfCase());

// Guards against a cut anywhere in a file slipping through: every prefix of a valid
// uncompressed BMP that cuts a pixel fails (and the full file loads, so the sweep means
// something), while one that only lacks the last row's padding loads the same pixels.
using EveryPrefixOf = BrokenFileTable<WholeBmp>;
TEST_P(EveryPrefixOf, AnUncompressedBmpFails)
{
    const WholeBmp& c = GetParam();
    QynImage whole;
    ASSERT_EQ(QynFileAccess::loadBytes(c.file, whole), QynFileAccess::Success);
    const std::size_t pixelsEnd = c.file.size() - c.lastPadding;
    for (std::size_t size = 0; size < pixelsEnd; ++size) {
        const std::int32_t code = QynFileAccess::loadBytes({c.file.data(), size}, slot);
        ASSERT_TRUE(code == QynFileAccess::Truncated || (size < 2 && code == QynFileAccess::NotAnImage))
            << "prefix " << size << " of " << c.file.size() << " gave " << code;
        ASSERT_EQ(fixture::state(slot), before);
    }
    for (std::size_t size = pixelsEnd; size < c.file.size(); ++size) {
        QynImage unpadded;
        ASSERT_EQ(QynFileAccess::loadBytes({c.file.data(), size}, unpadded), QynFileAccess::Success)
            << "prefix " << size << " of " << c.file.size();
        EXPECT_EQ(fixture::state(unpadded), fixture::state(whole));
    }
    std::printf("[ broken   ] %zu cut-short files rejected\n", pixelsEnd);
}
INSTANTIATE_TEST_SUITE_P(BrokenFiles, EveryPrefixOf, ::testing::ValuesIn(uncompressedBmps()), NameOfCase());

// Guards against paths that are no readable file: a folder or a pipe named like an image
// must fail at once (a pipe would block a plain read), a file without permission too.
TEST_F(BrokenFiles, FoldersPipesAndUnreadableFilesAreNotReadable)
{
    ASSERT_TRUE(QDir(dir.path()).mkdir("x.bmp"));
    EXPECT_EQ(QynFileAccess::loadFile(dir.filePath("x.bmp"), slot), QynFileAccess::NotReadable);
    const QByteArray fifo = QFile::encodeName(dir.filePath("pipe.bmp"));
    ASSERT_EQ(::mkfifo(fifo.constData(), 0600), 0);
    EXPECT_EQ(QynFileAccess::loadFile(dir.filePath("pipe.bmp"), slot), QynFileAccess::NotReadable);
    EXPECT_EQ(fixture::state(slot), before);

    if (::geteuid() == 0)
        GTEST_SKIP() << "running as root: file permissions do not apply";
    const QString locked = dir.filePath("locked.bmp");
    fixture::writeFile(locked, fixture::file(Header(2, 2, 24), fixture::rows(2, 2, 24, rgbAt)));
    ASSERT_TRUE(QFile::setPermissions(locked, QFileDevice::WriteOwner));
    EXPECT_EQ(QynFileAccess::loadFile(locked, slot), QynFileAccess::NotReadable);
    EXPECT_EQ(fixture::state(slot), before);
}

// Guards against a file being read whole before its header is checked: files far larger
// than the image their header describes (or of no image at all) are refused with
// almost nothing read. The files are sparse, so they cost no disk.
using FileFarLargerThanItsImage = BrokenFileTable<HugeFile>;
TEST_P(FileFarLargerThanItsImage, IsRefusedUnread)
{
    const QString path = dir.filePath("huge.bmp");
    fixture::writeFile(path, GetParam().start);
    ASSERT_EQ(::truncate(QFile::encodeName(path).constData(), std::int64_t{6} << 30), 0);
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    const long peakBefore = usage.ru_maxrss;
    EXPECT_EQ(QynFileAccess::loadFile(path, slot), QynFileAccess::NotAnImage);
    ::getrusage(RUSAGE_SELF, &usage);
    EXPECT_LT(usage.ru_maxrss - peakBefore, 64 * 1024) << "peak memory grew in KiB";
    EXPECT_EQ(fixture::state(slot), before);
}
INSTANTIATE_TEST_SUITE_P(BrokenFiles, FileFarLargerThanItsImage, ::testing::ValuesIn(hugeFiles()), NameOfCase());

// Guards against the image libraries talking on standard error: cut, corrupt and valid
// files of every library we go through leave it empty; the code alone reports.
TEST_F(BrokenFiles, LoadsLeaveStandardErrorQuiet)
{
    const Bytes tiff = qtEncoded("TIFF");
    const Bytes png = qtEncoded("PNG");
    Bytes badCrc = png;
    badCrc[29] ^= 0xff;  // the header chunk's checksum
    const std::string xpm = "/* XPM */\nstatic const char *x[] = {\n\"2 1 2 1\",\n\"a c #ff0000\",\n\"b\",\n\"ab\"};\n";
    const std::vector<Bytes> files = {
        tiff, cut(tiff, tiff.size() / 2), png, cut(png, png.size() / 2), badCrc,
        noisyJpeg(), appended(cut(noisyJpeg(), 3000), {0xff, 0xd9}),
        Bytes(xpm.begin(), xpm.end()), cut(grayGif(), 900),
    };
    const QString errors = dir.filePath("stderr.txt");
    std::fflush(stderr);
    const int saved = ::dup(2);
    ASSERT_TRUE(std::freopen(QFile::encodeName(errors).constData(), "w", stderr));
    for (std::size_t i = 0; i < files.size(); ++i) {
        const QString path = dir.filePath(QString("f%1.img").arg(i));
        fixture::writeFile(path, files[i]);
        QynImage loaded;
        QynFileAccess::loadFile(path, loaded);
    }
    std::fflush(stderr);
    ::dup2(saved, 2);
    ::close(saved);
    const Bytes said = fixture::readFile(errors);
    EXPECT_EQ(std::string(said.begin(), said.end()), "");
}

namespace {

struct Offered {
    const char* name;
    Bytes file;
};

std::vector<Offered> offeredFormats()
{
    return {
        {"TIFF", qtEncoded("TIFF")},
        {"gray TIFF", qtEncoded("TIFF", QImage::Format_Grayscale8)},
        {"PGM", qtEncoded("PGM", QImage::Format_Grayscale8)},
        {"PPM", qtEncoded("PPM")},
        {"PBM", qtEncoded("PBM", QImage::Format_Mono)},
        {"progressive JPEG", fixture::jpeg({24, 20, false, true})},
        {"palette PNG", fixture::png({.width = 5, .height = 3, .colorType = 3,
                                      .samples = {0, 1, 2, 1, 0, 2, 2, 1, 0, 0, 1, 1, 2, 2, 0}, .key = {},
                                      .palette = {0xff0000, 0xff00, 0xff}})},
    };
}

}  // namespace

// Guards against a format we offer loading a cut file with invented pixels: every
// prefix of a whole file fails, or (when only trailing bytes are missing) loads exactly
// the pixels of the whole file.
using EveryPrefixOfOffered = BrokenFileTable<Offered>;
TEST_P(EveryPrefixOfOffered, FailsOrLoadsTheWholeImage)
{
    const Bytes& file = GetParam().file;
    QynImage whole;
    ASSERT_EQ(QynFileAccess::loadBytes(file, whole), QynFileAccess::Success);
    for (std::size_t size = 0; size < file.size(); ++size) {
        QynImage cutShort;
        fixture::fillPattern(cutShort, 11, 7, QynPixelFormat::Color32, 5);
        if (QynFileAccess::loadBytes({file.data(), size}, cutShort) == QynFileAccess::Success)
            ASSERT_EQ(fixture::state(cutShort), fixture::state(whole)) << "prefix " << size << " of " << file.size();
        else
            ASSERT_EQ(fixture::state(cutShort), before) << "prefix " << size;
    }
}
INSTANTIATE_TEST_SUITE_P(BrokenFiles, EveryPrefixOfOffered, ::testing::ValuesIn(offeredFormats()), NameOfCase());

// Guards against formats we do not offer slipping through a library we cannot check:
// each is refused by name when loaded, and when named as a save's extension (nothing is
// written), instead of loading a cut file's invented pixels or saving a shrunk image.
TEST_F(BrokenFiles, FormatsNotOfferedAreRefusedByName)
{
    const std::vector<std::pair<std::string, Bytes>> loads = {
        {"GIF", grayGif()},
        {"WebP", qtEncoded("WEBP")},
        {"ICNS", qtEncoded("ICNS")},
        {"ICO", qtEncoded("ICO")},
        {"XBM", qtEncoded("XBM", QImage::Format_Mono)},
        {"XPM", qtEncoded("XPM")},
        {"ASCII PNM", text("P2\n2 1\n255\n0 255\n")},
        {"WBMP", qtEncoded("WBMP", QImage::Format_Mono)},
        {"TGA", [] {  // an uncompressed 24-bit TGA of 2 x 1 pixels
             Bytes tga{1, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 1, 0, 24, 0, 'i'};  // with a one-byte ID
             tga.insert(tga.end(), {1, 2, 3, 4, 5, 6});
             return tga;
         }()},
    };
    for (const auto& [name, bytes] : loads) {
        const QString path = dir.filePath("x.tga");  // the name tells only what the content does not
        fixture::writeFile(path, bytes);
        QString why;
        EXPECT_EQ(QynFileAccess::loadFile(path, slot, &why), QynFileAccess::NotAnImage) << name;
        EXPECT_TRUE(why.startsWith(QString::fromStdString(name) + " ")) << name << ": " << why.toStdString();
        EXPECT_EQ(fixture::state(slot), before);
    }
    ASSERT_TRUE(QFile::remove(dir.filePath("x.tga")));
    QynImage gray;
    fixture::fillPattern(gray, 300, 300, QynPixelFormat::Gray8, 2);
    for (const char* name : {"x.gif", "x.icns", "x.wbmp", "x.tga", "x.webp", "x.xpm", "x.pbm", "x.cur"}) {
        QString why;
        EXPECT_EQ(QynFileAccess::saveFile(dir.filePath(name), gray, &why), QynFileAccess::CannotWrite) << name;
        EXPECT_TRUE(why.contains("files are not written")) << why.toStdString();
        EXPECT_FALSE(QFile::exists(dir.filePath(name)));
    }
    QString why;
    EXPECT_EQ(QynFileAccess::saveFile(dir.filePath("x.ppm"), gray, &why), QynFileAccess::CannotWrite);
    EXPECT_TRUE(why.contains(".pgm")) << why.toStdString();
}

// Guards against JPEG decoding without bounds: a progressive file holds all its
// coefficients (two bytes a sample) before a pixel comes out, so a small file claiming
// 16384 x 16384 is refused before that memory is taken; a file of more scans than any
// encoder writes is refused rather than decoded scan after scan.
TEST_F(BrokenFiles, JpegMemoryAndScansAreBounded)
{
    const QString path = dir.filePath("big.jpg");
    fixture::writeFile(path, largeProgressive());
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    const long peakBefore = usage.ru_maxrss;
    QString why;
    EXPECT_EQ(QynFileAccess::loadFile(path, slot, &why), QynFileAccess::TooLarge);
    EXPECT_TRUE(why.contains("needs 512 MiB beside the image")) << why.toStdString();
    ::getrusage(RUSAGE_SELF, &usage);
    EXPECT_LT(usage.ru_maxrss - peakBefore, 64 * 1024) << "peak memory grew in KiB";

    QynImage loaded;
    EXPECT_EQ(QynFileAccess::loadBytes(repeatedScan(50), loaded, &why), QynFileAccess::Success) << why.toStdString();
    EXPECT_EQ(QynFileAccess::loadBytes(repeatedScan(200), slot, &why), QynFileAccess::NotAnImage);
    EXPECT_TRUE(why.contains("more than 100 scans")) << why.toStdString();
    EXPECT_EQ(fixture::state(slot), before);
}
