// Hostile and broken image files: every one must end in its documented result code with
// the slot exactly as it was, never a crash, a hang or an image with invented pixels.
#include "ImageFileFixtures.h"
#include "QynFileAccess.h"
#include "QynImage.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdio>

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

Bytes qtEncoded(const char* format)
{
    QImage image(40, 30, QImage::Format_RGB32);
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x)
            image.setPixel(x, y, rgbAt(x, y) | 0xff000000);
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return Bytes(data.begin(), data.end());
}

Bytes cut(const Bytes& bytes, std::size_t size)
{
    return Bytes(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(size));
}

Bytes rleFile(const Bytes& stream, int width = 4, int height = 2)
{
    return fixture::file(Header(width, height, 8).withCompression(1).withPalette(fixture::colorPalette(256)),
                         stream);
}

// A filled slot to check every failure against.
void fillSlot(QynImage& slot)
{
    fixture::fillPattern(slot, 11, 7, QynPixelFormat::Color32, 5);
}

}  // namespace

// Guards against any broken header, palette, size or RLE stream getting through as an
// image, or through with a wrong code, and against a failure touching the slot.
TEST(BrokenFiles, EachBrokenFileEndsInItsCodeWithTheSlotUntouched)
{
    const int w = 8, h = 6;
    const Bytes rgb24 = fixture::file(Header(w, h, 24), fixture::rows(w, h, 24, rgbAt));
    const Bytes pal8 =
        fixture::file(Header(w, h, 8).withPalette(fixture::grayRamp()), fixture::rows(w, h, 8, indexAt));
    const std::size_t pixels8 = 14 + 40 + 1024;
    const Bytes png = qtEncoded("PNG");
    const Bytes jpeg = qtEncoded("JPEG");
    const Bytes rows24 = fixture::rows(w, h, 24, rgbAt);
    auto header24 = [&](int width, int height) { return fixture::file(Header(width, height, 24), Bytes(64, 0)); };

    std::vector<Case> cases = {
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
        {"PNG cut in half", cut(png, png.size() / 2), QynFileAccess::NotAnImage},
        {"PNG cut to its signature", cut(png, 8), QynFileAccess::NotAnImage},
        {"JPEG cut short of its end", cut(jpeg, jpeg.size() - 40), QynFileAccess::Truncated},
        {"JPEG cut in its header", cut(jpeg, 20), QynFileAccess::NotAnImage},
        {"text", {'n', 'o', 't', ' ', 'a', 'n', ' ', 'i', 'm', 'a', 'g', 'e'}, QynFileAccess::NotAnImage},
    };

    QTemporaryDir dir;
    QynImage slot;
    fillSlot(slot);
    const fixture::SlotState before = fixture::state(slot);
    for (const Case& c : cases) {
        const QString path = dir.filePath("broken.bmp");
        fixture::writeFile(path, c.bytes);
        EXPECT_EQ(QynFileAccess::loadFile(path, slot), c.code) << c.name;
        EXPECT_EQ(fixture::state(slot), before) << c.name;
    }
    std::printf("[ broken   ] %zu broken files rejected with their codes\n", cases.size());
}

// Guards against a cut anywhere in a file slipping through: every prefix of valid
// uncompressed BMPs that cuts a pixel fails (and the full files load, so the sweep means
// something), while one that only lacks the last row's padding loads the same pixels.
TEST(BrokenFiles, EveryPrefixOfAnUncompressedBmpFails)
{
    const int w = 5, h = 3;
    struct Case {
        Bytes file;
        std::size_t lastPadding;  // bytes after the last row's pixels
    };
    const std::vector<Case> cases = {
        {fixture::file(Header(w, h, 24), fixture::rows(w, h, 24, rgbAt)), 1},
        {fixture::file(Header(w, -h, 32), fixture::rows(w, -h, 32, rgbAt)), 0},
        {fixture::file(Header(w, h, 4).withPalette(fixture::colorPalette(16)), fixture::rows(w, h, 4, indexAt)), 1},
        {fixture::file(Header(w, h, 8).withPalette(fixture::grayRamp()), fixture::rows(w, h, 8, indexAt)), 3},
        {fixture::file(Header(w, h, 24).withHeaderSize(12), fixture::rows(w, h, 24, rgbAt)), 1},
        {fixture::file(Header(w, h, 16).withCompression(3).withMasks({0xf800, 0x7e0, 0x1f}),
                       fixture::rows(w, h, 16, indexAt)),
         2},
    };
    QynImage slot;
    fillSlot(slot);
    const fixture::SlotState before = fixture::state(slot);
    std::size_t prefixes = 0;
    for (const Case& c : cases) {
        QynImage whole;
        ASSERT_EQ(QynFileAccess::loadBytes(c.file, whole), QynFileAccess::Success);
        const std::size_t pixelsEnd = c.file.size() - c.lastPadding;
        for (std::size_t size = 0; size < pixelsEnd; ++size, ++prefixes) {
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
    }
    std::printf("[ broken   ] %zu cut-short files rejected\n", prefixes);
}

// Guards against paths that are no readable file: a folder or a pipe named like an image
// must fail at once (a pipe would block a plain read), a file without permission too.
TEST(BrokenFiles, FoldersPipesAndUnreadableFilesAreNotReadable)
{
    QTemporaryDir dir;
    QynImage slot;
    fillSlot(slot);
    const fixture::SlotState before = fixture::state(slot);
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
