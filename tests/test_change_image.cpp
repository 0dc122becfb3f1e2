// The conversion engine: the gray rounding rule, every SIMD kernel against the scalar
// reference, the component's calls and result codes, and the row pool.
#include "QynCalls.h"
#include "QynChangeImage.h"
#include "QynConvertKernels.h"
#include "QynConvertReference.h"
#include "QynImage.h"
#include "QynPerformanceCounter.h"
#include "QynPixelPacking.h"
#include "QynRowPool.h"
#include "SlotFill.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

namespace {

using Stores = QynConvertKernels::Stores;

const QynGrayWeights Defaults{0.299, 0.587, 0.144};

// Runs body once for every instruction set the kernels can use here.
template <class Body>
void forEachTarget(const Body& body)
{
    for (const std::string& target : QynConvertKernels::availableTargets()) {
        SCOPED_TRACE("target " + target);
        ASSERT_TRUE(QynConvertKernels::useTarget(target));
        body();
    }
    QynConvertKernels::useTarget({});
}

// A plane with padding after every row and a byte of misalignment in front; the padding
// holds a pattern that no kernel may touch.
struct TestPlane {
    static constexpr std::uint8_t Pad = 0xA5;

    TestPlane(std::ptrdiff_t width, std::ptrdiff_t height, int bytesPerPixel,
              std::ptrdiff_t padding, std::ptrdiff_t offset = 1)
        : rowBytes(width * bytesPerPixel), stride(rowBytes + padding), rows(height),
          offset(offset), bytes(static_cast<std::size_t>(offset + stride * height + 64), Pad)
    {
    }

    std::uint8_t* data() { return bytes.data() + offset; }
    QynPlane plane() { return {data(), stride}; }
    void fill(std::mt19937& random)
    {
        for (std::ptrdiff_t y = 0; y < rows; ++y)
            for (std::ptrdiff_t i = 0; i < rowBytes; ++i)
                data()[y * stride + i] = static_cast<std::uint8_t>(random());
    }
    // Same pixels as `other`, and the padding untouched.
    ::testing::AssertionResult matches(TestPlane& other)
    {
        for (std::ptrdiff_t y = 0; y < rows; ++y)
            for (std::ptrdiff_t i = 0; i < rowBytes; ++i)
                if (data()[y * stride + i] != other.data()[y * stride + i])
                    return ::testing::AssertionFailure()
                        << "row " << y << " byte " << i << ": " << int(data()[y * stride + i])
                        << " instead of " << int(other.data()[y * stride + i]);
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            const auto at = static_cast<std::ptrdiff_t>(i) - offset;
            const bool inside = at >= 0 && at < stride * rows && at % stride < rowBytes;
            if (!inside && bytes[i] != Pad)
                return ::testing::AssertionFailure() << "padding byte " << at << " written";
        }
        return ::testing::AssertionSuccess();
    }

    std::ptrdiff_t rowBytes, stride, rows, offset;
    std::vector<std::uint8_t> bytes;
};

struct Shape {
    std::ptrdiff_t width, height, padding, offset;
};

// Odd widths around every vector length, one pixel, wide strides, misaligned starts.
std::vector<Shape> shapes()
{
    std::vector<Shape> all;
    for (std::ptrdiff_t width : {1, 2, 3, 7, 8, 15, 16, 17, 31, 32, 33, 63, 64, 65, 127, 129,
                                 1023, 1024, 1025})
        for (std::ptrdiff_t height : {1, 3}) {
            all.push_back({width, height, 0, 0});
            all.push_back({width, height, 13, 1});
        }
    all.push_back({1, 1, 0, 3});
    all.push_back({300, 7, 64, 32});
    return all;
}

std::vector<std::uint32_t> randomTable(std::mt19937& random)
{
    std::vector<std::uint32_t> table(256);
    for (auto& entry : table)
        entry = static_cast<std::uint32_t>(random());  // top byte too: entries go as given
    return table;
}

QynCallResult call(QynChangeImage& engine, std::int32_t id, std::initializer_list<QynVariant> args)
{
    return engine.invoke(id, QynCallKind::Method, std::span(args.begin(), args.size()));
}

std::int32_t lastResult(QynChangeImage& engine)
{
    std::int32_t code = -1;
    EXPECT_TRUE(call(engine, QynChangeImage::GetLastResult, {&code}).ok());
    return code;
}

std::vector<std::uint8_t> bytesOf(const QynImage& slot)
{
    const QynPixelBuffer* pixels = slot.pixels();
    if (!pixels)
        return {};
    return {pixels->data(), pixels->data() + pixels->byteCount()};
}

const std::vector<std::int32_t>& programTable()
{
    static const std::vector<std::int32_t> table = [] {
        std::vector<std::int32_t> t(256);
        for (int i = 0; i < 256; ++i)
            t[i] = (255 - i) << 16 | (255 - i) << 8 | i;
        return t;
    }();
    return table;
}

}  // namespace

// Guards the rounding rule itself: clamping instead of wrapping, halves to even, NaN.
TEST(GrayRule, ClampsRoundsHalvesToEvenAndMapsNaNToZero)
{
    EXPECT_EQ(qynGrayOf(Defaults, 255, 255, 255), 255);  // 262.65: clamped, not wrapped
    EXPECT_EQ(qynGrayOf(Defaults, 0, 0, 0), 0);
    EXPECT_EQ(qynGrayOf(Defaults, 100, 50, 20), 62);  // 29.9 + 29.35 + 2.88 = 62.13
    const QynGrayWeights half{0.5, 0, 0};
    EXPECT_EQ(qynGrayOf(half, 1, 0, 0), 0);    // 0.5
    EXPECT_EQ(qynGrayOf(half, 3, 0, 0), 2);    // 1.5
    EXPECT_EQ(qynGrayOf(half, 5, 0, 0), 2);    // 2.5
    EXPECT_EQ(qynGrayOf(half, 255, 0, 0), 128);  // 127.5
    EXPECT_EQ(qynGrayOf({-1, 0, 0}, 200, 0, 0), 0);
    EXPECT_EQ(qynGrayOf({1e6, -1e6, 1}, 2, 1, 0), 255);
    EXPECT_EQ(qynGrayOf({1e308, -1e308, 0}, 255, 255, 0), 0);  // inf - inf
    EXPECT_EQ(qynGrayOf({1e308, 1e308, 0}, 255, 255, 0), 255);  // inf
    // Ties in decimal are not ties in double: the rule follows the double sum.
    EXPECT_EQ(qynGrayOf({0.25, 0.25, 0.5}, 1, 1, 0), 0);  // exactly 0.5
    EXPECT_EQ(qynGrayOf({0.25, 0.25, 0.5}, 3, 3, 0), 2);  // exactly 1.5
}

// Guards the fast colour to gray paths (float with fallback, double) against any byte
// that differs from the reference, on every colour and every instruction set.
TEST(ConvertKernels, ColorToGrayMatchesTheReferenceForEveryColour)
{
    constexpr std::ptrdiff_t Side = 4096;  // 2^24 pixels, each colour once
    std::vector<std::uint32_t> colours(static_cast<std::size_t>(Side * Side));
    for (std::size_t i = 0; i < colours.size(); ++i)
        colours[i] = static_cast<std::uint32_t>(i) | (i % 3 ? 0u : 0xff000000u);  // X ignored
    const QynConstPlane in{reinterpret_cast<const std::uint8_t*>(colours.data()), 4 * Side};
    std::vector<std::uint8_t> expected(colours.size()), actual(colours.size());
    const QynPlane expectedPlane{expected.data(), Side};
    const QynPlane actualPlane{actual.data(), Side};

    const QynGrayWeights triples[] = {Defaults,          {0.5, 0.5, 0.5},  {-0.3, 1.7, 0.25},
                                      {1e6, -1e6, 1},    {0.001, 0.001, 0.001},
                                      {1.0 / 3, 1.0 / 3, 1.0 / 3}, {1, 1, 1},
                                      {5, -5, 5}};
    for (const QynGrayWeights& w : triples) {
        SCOPED_TRACE(::testing::Message() << "weights " << w.red << ", " << w.green << ", " << w.blue);
        QynConvertReference::colorToGray(in, expectedPlane, Side, Side, w);
        forEachTarget([&] {
            const Stores stores = &w == &triples[0] ? Stores::Streaming : Stores::Cached;
            std::fill(actual.begin(), actual.end(), 0x5A);
            QynConvertKernels::colorToGray(in, actualPlane, Side, Side, w, stores);
            const auto diff = std::mismatch(expected.begin(), expected.end(), actual.begin());
            ASSERT_TRUE(diff.first == expected.end())
                << "colour 0x" << std::hex << colours[diff.first - expected.begin()] << std::dec
                << " gives " << int(*diff.second) << " instead of " << int(*diff.first);
        });
    }
}

// Guards every kernel's head, body and tail, the clamp and the strides: odd widths, one
// pixel, rows with padding that must stay untouched, misaligned starts, both store kinds.
TEST(ConvertKernels, EveryKernelMatchesTheReferenceOnOddShapes)
{
    std::mt19937 random(7);
    const std::vector<std::uint32_t> table = randomTable(random);
    const QynGrayWeights weights[] = {Defaults,      {0.9, 0.9, 0.9},       {-0.3, 1.7, 0.25},
                                      {3e5, -2e5, 7}, {1e308, -1e308, 0.5}, {1e308, 1e308, 1}};
    forEachTarget([&] {
        for (const Shape& s : shapes()) {
            SCOPED_TRACE(::testing::Message() << s.width << " x " << s.height << " padding "
                                              << s.padding << " offset " << s.offset);
            for (Stores stores : {Stores::Cached, Stores::Streaming}) {
                TestPlane color(s.width, s.height, 4, 4 * s.padding, s.offset);
                TestPlane r(s.width, s.height, 1, s.padding, s.offset);
                TestPlane g(s.width, s.height, 1, s.padding + 1, s.offset + 1);
                TestPlane b(s.width, s.height, 1, s.padding, s.offset);
                color.fill(random);
                r.fill(random);
                g.fill(random);
                b.fill(random);

                TestPlane colorRef = color, colorOut = color;
                QynConvertReference::compose(r.plane(), g.plane(), b.plane(), colorRef.plane(),
                                             s.width, s.height);
                QynConvertKernels::compose(r.plane(), g.plane(), b.plane(), colorOut.plane(),
                                           s.width, s.height, stores);
                EXPECT_TRUE(colorOut.matches(colorRef)) << "compose";

                TestPlane rRef = r, gRef = g, bRef = b, rOut = r, gOut = g, bOut = b;
                QynConvertReference::decompose(color.plane(), rRef.plane(), gRef.plane(),
                                               bRef.plane(), s.width, s.height);
                QynConvertKernels::decompose(color.plane(), rOut.plane(), gOut.plane(),
                                             bOut.plane(), s.width, s.height, stores);
                EXPECT_TRUE(rOut.matches(rRef)) << "decompose red";
                EXPECT_TRUE(gOut.matches(gRef)) << "decompose green";
                EXPECT_TRUE(bOut.matches(bRef)) << "decompose blue";

                for (const QynGrayWeights& w : weights) {
                    TestPlane grayRef = r, grayOut = r;
                    QynConvertReference::colorToGray(color.plane(), grayRef.plane(), s.width,
                                                     s.height, w);
                    QynConvertKernels::colorToGray(color.plane(), grayOut.plane(), s.width,
                                                   s.height, w, stores);
                    EXPECT_TRUE(grayOut.matches(grayRef)) << "colour to gray " << w.red;
                }

                TestPlane fromGrayRef = color, fromGrayOut = color;
                QynConvertReference::grayToColor(g.plane(), fromGrayRef.plane(), s.width,
                                                 s.height, table.data());
                QynConvertKernels::grayToColor(g.plane(), fromGrayOut.plane(), s.width, s.height,
                                               table.data(), stores);
                EXPECT_TRUE(fromGrayOut.matches(fromGrayRef)) << "gray to colour";
            }
        }
    });
}

// Guards the computed path for tables that rise, fall or stay by one step a level: it must
// give the table's own bytes (wrapping past 0 and 255 included), and a table that leaves
// the ramp at a single entry or byte must be looked up, not computed.
TEST(ConvertKernels, GrayToColorComputesRampTablesOnlyWhenEveryEntryFollows)
{
    const auto ramp = [](std::uint32_t base, std::uint32_t rise, std::uint32_t fall) {
        std::vector<std::uint32_t> table(256);
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint32_t entry = 0;
            for (int shift = 0; shift < 32; shift += 8) {
                const std::uint32_t byte = (base >> shift) + (i & (rise >> shift)) - (i & (fall >> shift));
                entry |= (byte & 0xff) << shift;
            }
            table[i] = entry;
        }
        return table;
    };
    std::vector<std::vector<std::uint32_t>> tables = {
        ramp(0x00ffff00, 0x000000ff, 0x00ffff00),  // the program's yellow to blue
        ramp(0, 0x00ffffff, 0),                     // gray
        ramp(0xff00ffff, 0x0000ff00, 0xff0000ff),   // mixed, with the top byte moving
        ramp(0x12c8407f, 0x00ff00ff, 0xff00ff00),   // every byte wraps somewhere
        ramp(0x11223344, 0, 0),                     // one colour
    };
    for (std::size_t t = 0, count = tables.size(); t < count; ++t)
        for (std::size_t level : {0, 1, 128, 255})
            for (std::uint32_t flip : {0x1u, 0x100u, 0x800000u, 0x80000000u}) {
                tables.push_back(tables[t]);
                tables.back()[level] ^= flip;
            }

    // Every level, in an odd-sized plane so heads and tails are exercised too.
    constexpr std::ptrdiff_t Width = 517, Height = 3;
    TestPlane gray(Width, Height, 1, 0);
    for (std::ptrdiff_t i = 0; i < Width * Height; ++i)
        gray.data()[i] = static_cast<std::uint8_t>(i * 7);
    forEachTarget([&] {
        for (std::size_t t = 0; t < tables.size(); ++t) {
            SCOPED_TRACE(::testing::Message() << "table " << t);
            for (Stores stores : {Stores::Cached, Stores::Streaming}) {
                TestPlane expected(Width, Height, 4, 8), actual(Width, Height, 4, 8);
                QynConvertReference::grayToColor(gray.plane(), expected.plane(), Width, Height,
                                                 tables[t].data());
                QynConvertKernels::grayToColor(gray.plane(), actual.plane(), Width, Height,
                                               tables[t].data(), stores);
                EXPECT_TRUE(actual.matches(expected));
            }
        }
    });
}

// Guards the 24-bit file rows: B, G, R kept in order, X written as 0, and not a byte
// read or written past the row, for lengths around every vector width.
TEST(PixelPacking, RowsPackAndUnpackExactlyOnEveryTarget)
{
    std::mt19937 random(5);
    std::vector<std::uint8_t> words(4 * 300);
    for (std::uint8_t& byte : words)
        byte = static_cast<std::uint8_t>(random());
    forEachTarget([&] {
        for (std::ptrdiff_t n : {1, 2, 15, 16, 17, 31, 33, 63, 64, 65, 129, 300}) {
            SCOPED_TRACE(::testing::Message() << n << " pixels");
            const auto size = static_cast<std::size_t>(n);
            std::vector<std::uint8_t> packed(3 * size + 1, 0xa5), unpacked(4 * size + 1, 0xa5);
            QynPixelPacking::packBgr(words.data(), packed.data(), n);
            QynPixelPacking::unpackBgr(packed.data(), unpacked.data(), n);
            for (std::size_t x = 0; x < size; ++x)
                for (std::size_t c = 0; c < 4; ++c)
                    ASSERT_EQ(unpacked[4 * x + c], c < 3 ? words[4 * x + c] : 0) << x << "," << c;
            EXPECT_EQ(packed.back(), 0xa5);
            EXPECT_EQ(unpacked.back(), 0xa5);
        }
    });
}

// Guards against a kernel that was never really dispatched or a target list that lies.
TEST(ConvertKernels, TargetsCanBeListedAndPinned)
{
    const auto targets = QynConvertKernels::availableTargets();
    ASSERT_FALSE(targets.empty());
    EXPECT_EQ(QynConvertKernels::targetName(), targets.front());
    ASSERT_TRUE(QynConvertKernels::useTarget(targets.back()));
    EXPECT_EQ(QynConvertKernels::targetName(), targets.back());
    EXPECT_FALSE(QynConvertKernels::useTarget("NO-SUCH-TARGET"));
    ASSERT_TRUE(QynConvertKernels::useTarget({}));
    EXPECT_EQ(QynConvertKernels::targetName(), targets.front());
}

// Guards the four calls as the program makes them: right bytes, right formats, code 0.
TEST(ChangeImage, EachConversionFillsItsDestinationsAndLeavesZero)
{
    std::mt19937 random(11);
    QynImage s1, s2, s3, s4;
    QynChangeImage engine;
    const int w = 37, h = 5;

    fixture::fillRandom(s1, w, h, QynPixelFormat::Color32, random);
    const auto original = bytesOf(s1);
    ASSERT_TRUE(call(engine, QynChangeImage::DecomposeChannels, {&s1, &s2, &s3, &s4}).ok());
    EXPECT_EQ(lastResult(engine), 0);
    for (QynImage* gray : {&s2, &s3, &s4}) {
        EXPECT_EQ(gray->bitDepth(), 8);
        EXPECT_EQ(gray->imageType(), QynImage::TypeGray);
        ASSERT_TRUE(gray->pixels());
    }
    for (int i = 0; i < w * h; ++i) {
        EXPECT_EQ(s2.pixels()->data()[i], original[4 * i + 2]);  // red
        EXPECT_EQ(s3.pixels()->data()[i], original[4 * i + 1]);  // green
        EXPECT_EQ(s4.pixels()->data()[i], original[4 * i]);      // blue
    }

    // Compose gives back the original: the gray slots 2, 3, 4 as red, green, blue.
    QynImage composed;
    ASSERT_TRUE(call(engine, QynChangeImage::ComposeChannels, {&s2, &s3, &s4, &composed}).ok());
    EXPECT_EQ(composed.bitDepth(), 32);
    EXPECT_EQ(composed.imageType(), QynImage::TypeColor);
    EXPECT_EQ(bytesOf(composed), original);

    ASSERT_TRUE(call(engine, QynChangeImage::ColorToGray, {&s1, &s2, 0.299, 0.587, 0.144}).ok());
    EXPECT_EQ(lastResult(engine), 0);
    for (int i = 0; i < w * h; ++i)
        EXPECT_EQ(s2.pixels()->data()[i],
                  qynGrayOf(Defaults, original[4 * i + 2], original[4 * i + 1], original[4 * i]));
    // Integer weights are widened.
    ASSERT_TRUE(call(engine, QynChangeImage::ColorToGray, {&s1, &s3, 1, 0, 0}).ok());
    for (int i = 0; i < w * h; ++i)
        EXPECT_EQ(s3.pixels()->data()[i], original[4 * i + 2]);

    const auto& table = programTable();
    ASSERT_TRUE(call(engine, QynChangeImage::GrayToColor,
                     {&s2, &s4, 256, std::span<const std::int32_t>(table)})
                    .ok());
    EXPECT_EQ(s4.bitDepth(), 32);
    const auto gray = bytesOf(s2);
    const auto color = bytesOf(s4);
    for (int i = 0; i < w * h; ++i) {
        std::int32_t word;
        std::memcpy(&word, &color[4 * static_cast<std::size_t>(i)], 4);
        EXPECT_EQ(word, table[gray[i]]);
    }
    EXPECT_EQ(table[0], 0xffff00);  // entry 0 = red 255, green 255, blue 0
}

// Guards the large-image path (threads, streaming stores, joined rows) and the thread
// setting: any thread count gives the reference's bytes.
TEST(ChangeImage, LargeImagesGiveTheSameBytesWithAnyThreadCount)
{
    std::mt19937 random(5);
    QynImage color, r, g, b, gray, back;
    const int w = 2053, h = 2047;  // colour destinations above the streaming size, odd width
    fixture::fillRandom(color, w, h, QynPixelFormat::Color32, random);
    const QynPixelBuffer& src = *color.pixels();
    std::vector<std::uint8_t> grayRef(static_cast<std::size_t>(w) * h);
    QynConvertReference::colorToGray({src.data(), src.stride()}, {grayRef.data(), w}, w, h,
                                     Defaults);
    const auto& table = programTable();
    std::vector<std::uint8_t> backRef(static_cast<std::size_t>(w) * h * 4);
    QynConvertReference::grayToColor({grayRef.data(), w}, {backRef.data(), 4 * w}, w, h,
                                     reinterpret_cast<const std::uint32_t*>(table.data()));

    for (int threads : {1, 0, 3}) {
        SCOPED_TRACE(::testing::Message() << threads << " threads");
        QynChangeImage engine;
        engine.setThreadCount(threads);
        EXPECT_EQ(engine.threadCount(), threads);
        ASSERT_TRUE(call(engine, QynChangeImage::DecomposeChannels, {&color, &r, &g, &b}).ok());
        QynImage composed;
        ASSERT_TRUE(call(engine, QynChangeImage::ComposeChannels, {&r, &g, &b, &composed}).ok());
        EXPECT_EQ(bytesOf(composed), bytesOf(color));
        ASSERT_TRUE(call(engine, QynChangeImage::ColorToGray, {&color, &gray, 0.299, 0.587, 0.144}).ok());
        EXPECT_EQ(bytesOf(gray), grayRef);
        ASSERT_TRUE(call(engine, QynChangeImage::GrayToColor,
                         {&gray, &back, 256, std::span<const std::int32_t>(table)})
                        .ok());
        EXPECT_EQ(bytesOf(back), backRef);
        EXPECT_EQ(lastResult(engine), 0);
    }
}

// Guards the result codes of every failure the program can cause, that the failing call
// reports failure as well, and that neither sources nor destinations change.
TEST(ChangeImage, FailuresLeaveTheirCodeAndTouchNoSlot)
{
    std::mt19937 random(3);
    QynImage gray1, gray2, gray3, color, smallGray, dst1, dst2, dst3, empty, odd;
    fixture::fillRandom(gray1, 8, 4, QynPixelFormat::Gray8, random);
    fixture::fillRandom(gray2, 8, 4, QynPixelFormat::Gray8, random);
    fixture::fillRandom(gray3, 8, 4, QynPixelFormat::Gray8, random);
    fixture::fillRandom(color, 8, 4, QynPixelFormat::Color32, random);
    fixture::fillRandom(smallGray, 7, 4, QynPixelFormat::Gray8, random);
    fixture::fillRandom(odd, 8, 4, QynPixelFormat::Color32, random);
    ASSERT_TRUE(qyn::put(odd, QynImage::BitDepth, 8) == QynStatus::Ok);  // 8-bit type 2: no format
    for (QynImage* d : {&dst1, &dst2, &dst3})
        fixture::fillRandom(*d, 3, 3, QynPixelFormat::Color32, random);
    QynPerformanceCounter notAnImage;
    const auto& table = programTable();
    const std::span<const std::int32_t> fullTable(table);
    const std::span<const std::int32_t> shortTable = fullTable.first(255);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    QynComponent* const none = nullptr;
    std::int32_t anInt = 0;

    struct Case {
        const char* name;
        std::int32_t id;
        std::vector<QynVariant> args;
        QynStatus status;
        std::int32_t code;
    };
    using S = QynStatus;
    using C = QynChangeImage;
    const Case cases[] = {
        {"too few arguments", C::ComposeChannels, {&gray1, &gray2, &gray3}, S::BadArgCount, 1505},
        {"too many arguments", C::ColorToGray, {&color, &dst1, 1.0, 1.0, 1.0, 1.0}, S::BadArgCount, 1505},
        {"string for a slot", C::DecomposeChannels, {QString("x"), &dst1, &dst2, &dst3}, S::TypeMismatch, 1506},
        {"string for a weight", C::ColorToGray, {&color, &dst1, 1.0, QString("1"), 1.0}, S::TypeMismatch, 1506},
        {"double for the count", C::GrayToColor, {&gray1, &dst1, 256.0, fullTable}, S::TypeMismatch, 1506},
        {"pointer for the table", C::GrayToColor, {&gray1, &dst1, 256, &anInt}, S::TypeMismatch, 1506},
        {"component that is no image", C::ColorToGray, {&color, &notAnImage, 1.0, 1.0, 1.0}, S::TypeMismatch, 1506},
        {"null slot", C::ComposeChannels, {&gray1, none, &gray3, &dst1}, S::NullReference, 1507},
        {"null output", C::GetLastResult, {static_cast<std::int32_t*>(nullptr)}, S::NullReference, 1507},
        {"NaN weight", C::ColorToGray, {&color, &dst1, 0.3, nan, 0.1}, S::Failed, 1505},
        {"infinite weight", C::ColorToGray, {&color, &dst1, -inf, 0.6, 0.1}, S::Failed, 1505},
        {"count 255", C::GrayToColor, {&gray1, &dst1, 255, fullTable}, S::Failed, 1505},
        {"count 257", C::GrayToColor, {&gray1, &dst1, 257, fullTable}, S::Failed, 1505},
        {"table shorter than its count", C::GrayToColor, {&gray1, &dst1, 256, shortTable}, S::Failed, 1505},
        {"compose into a source", C::ComposeChannels, {&gray1, &gray2, &gray3, &gray2}, S::Failed, 1551},
        {"decompose into the source", C::DecomposeChannels, {&color, &dst1, &color, &dst2}, S::Failed, 1551},
        {"two destinations alike", C::DecomposeChannels, {&color, &dst1, &dst2, &dst1}, S::Failed, 1551},
        {"gray in place", C::ColorToGray, {&color, &color, 1.0, 1.0, 1.0}, S::Failed, 1551},
        {"colour in place", C::GrayToColor, {&gray1, &gray1, 256, fullTable}, S::Failed, 1551},
        {"empty source", C::ComposeChannels, {&gray1, &empty, &gray3, &dst1}, S::Failed, 1507},
        {"source of no known format", C::ColorToGray, {&odd, &dst1, 1.0, 1.0, 1.0}, S::Failed, 1507},
        {"colour to compose", C::ComposeChannels, {&gray1, &color, &gray3, &dst1}, S::Failed, 1550},
        {"gray to decompose", C::DecomposeChannels, {&gray1, &dst1, &dst2, &dst3}, S::Failed, 1550},
        {"gray to make gray", C::ColorToGray, {&gray1, &dst1, 1.0, 1.0, 1.0}, S::Failed, 1550},
        {"colour through the table", C::GrayToColor, {&color, &dst1, 256, fullTable}, S::Failed, 1550},
        {"sizes differ", C::ComposeChannels, {&gray1, &gray2, &smallGray, &dst1}, S::Failed, 1532},
        {"unknown member", 77, {}, S::UnknownMember, 1501},
    };

    std::vector<std::vector<std::uint8_t>> before;
    const std::vector<QynImage*> allSlots{&gray1, &gray2, &gray3, &color, &smallGray,
                                       &dst1,  &dst2,  &dst3,  &empty, &odd};
    for (QynImage* slot : allSlots)
        before.push_back(bytesOf(*slot));

    QynChangeImage engine;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(call(engine, C::GetLastResult, {&anInt}).ok());  // a success in between
        const auto result = engine.invoke(c.id, QynCallKind::Method, c.args);
        EXPECT_EQ(result.status, c.status);
        EXPECT_EQ(lastResult(engine), c.code);
        for (std::size_t i = 0; i < allSlots.size(); ++i)
            EXPECT_EQ(bytesOf(*allSlots[i]), before[i]) << "slot " << i;
    }
    EXPECT_EQ(engine.invoke(C::ColorToGray, QynCallKind::PropertyGet, {}).status,
              S::UnknownMember);
    EXPECT_EQ(lastResult(engine), 1501);
    // A later success clears the code; two sources may be the same slot.
    ASSERT_TRUE(call(engine, C::ComposeChannels, {&gray1, &gray1, &gray1, &dst1}).ok());
    EXPECT_EQ(lastResult(engine), 0);
}

// Guards the table bound: only the span's 256 entries are read (ASan sees any read past
// a heap block of exactly that size), however large the gray values are.
TEST(ChangeImage, GrayToColorReadsOnlyTheGivenEntries)
{
    QynImage gray, color;
    fixture::fill(gray, 256, 1, QynPixelFormat::Gray8, [](int x, int) { return static_cast<std::uint32_t>(x); });
    auto table = std::make_unique<std::int32_t[]>(256);
    for (int i = 0; i < 256; ++i)
        table[i] = -i;  // negative entries go through as the same 32 bits
    QynChangeImage engine;
    ASSERT_TRUE(call(engine, QynChangeImage::GrayToColor,
                     {&gray, &color, 256, std::span<const std::int32_t>(table.get(), 256)})
                    .ok());
    for (int i = 0; i < 256; ++i) {
        std::int32_t word;
        std::memcpy(&word, color.pixels()->data() + 4 * i, 4);
        EXPECT_EQ(word, -i);
    }
}

// Guards the pool's split: every row exactly once, for any row and part count.
TEST(RowPool, EveryRowRunsExactlyOnce)
{
    QynRowPool pool(3);
    EXPECT_EQ(pool.threads(), 3);
    for (std::ptrdiff_t rows : {0, 1, 2, 3, 5, 100, 1001})
        for (int parts : {1, 2, 3, 8}) {
            std::vector<std::atomic<int>> seen(static_cast<std::size_t>(rows));
            pool.forRows(rows, parts, [&](std::ptrdiff_t begin, std::ptrdiff_t end) {
                for (std::ptrdiff_t y = begin; y < end; ++y)
                    seen[static_cast<std::size_t>(y)]++;
            });
            for (std::ptrdiff_t y = 0; y < rows; ++y)
                ASSERT_EQ(seen[static_cast<std::size_t>(y)], 1) << rows << " rows, " << parts << " parts";
        }
}
