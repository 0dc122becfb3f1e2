// Measuring an image: region statistics and histograms (with each SIMD target of the
// library selected, as the window runs them beside the conversions) and line profiles,
// each against a plain count of the same pixels.
#include "CaseName.h"
#include "QynConvertKernels.h"
#include "QynHistogram.h"
#include "QynLineProfile.h"
#include "QynMeasureText.h"
#include "QynRegionStats.h"
#include "QynRowPool.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <random>

namespace {

enum class Fill { Random, Clipped, Constant };

struct Region {
    const char* name;
    int width, height;
    QynPixelFormat format;
    Fill fill;
    QRect region;  // null: the whole image
};

// The image's pixels, and bytes past each row that no measurement may count: their
// values would show in every sum, extreme and count.
std::shared_ptr<QynPixelBuffer> imageFor(const Region& r)
{
    auto px = std::make_shared<QynPixelBuffer>(r.width, r.height, r.format);
    std::mt19937 random(static_cast<std::uint32_t>(r.width * 7919 + r.height));
    const std::ptrdiff_t used = std::ptrdiff_t{r.width} * qynBytesPerPixel(r.format);
    for (int y = 0; y < r.height; ++y)
        for (std::ptrdiff_t i = 0; i < px->stride(); ++i) {
            const auto v = static_cast<std::uint8_t>(random());
            px->row(y)[i] = i >= used                  ? static_cast<std::uint8_t>(i % 2 ? 0 : 255)
                            : r.fill == Fill::Random   ? v
                            : r.fill == Fill::Clipped  ? static_cast<std::uint8_t>(v % 3 == 0 ? 0 : v % 3 == 1 ? 255 : v)
                                                       : std::uint8_t{77};
        }
    return px;
}

// The level of channel c (gray, or red, green, blue) of pixel (x, y).
int levelAt(const QynPixelBuffer& px, int x, int y, int c)
{
    if (px.format() == QynPixelFormat::Gray8)
        return px.row(y)[x];
    return px.row(y)[4 * std::ptrdiff_t{x} + 2 - c];
}

const Region regions[] = {
    {"odd width whole gray", 67, 5, QynPixelFormat::Gray8, Fill::Random, {}},
    {"odd width whole colour", 37, 4, QynPixelFormat::Color32, Fill::Random, {}},
    {"one pixel image gray", 1, 1, QynPixelFormat::Gray8, Fill::Random, {}},
    {"one pixel region colour", 40, 9, QynPixelFormat::Color32, Fill::Random, {17, 3, 1, 1}},
    {"right edge region gray", 131, 20, QynPixelFormat::Gray8, Fill::Random, {100, 2, 31, 18}},
    {"bottom right edge colour", 77, 33, QynPixelFormat::Color32, Fill::Random, {60, 30, 17, 3}},
    {"region reaching past the image gray", 50, 10, QynPixelFormat::Gray8, Fill::Random, {45, -3, 20, 20}},
    {"region outside the image colour", 50, 10, QynPixelFormat::Color32, Fill::Random, {60, 0, 5, 5}},
    {"clipped image gray", 1000, 7, QynPixelFormat::Gray8, Fill::Clipped, {}},
    {"clipped image colour", 333, 7, QynPixelFormat::Color32, Fill::Clipped, {1, 1, 331, 5}},
    {"constant image colour", 64, 3, QynPixelFormat::Color32, Fill::Constant, {}},
    {"row longer than a block gray", 40000, 2, QynPixelFormat::Gray8, Fill::Clipped, {}},
    {"large colour image over two threads", 2048, 1100, QynPixelFormat::Color32, Fill::Random, {3, 5, 2041, 1093}},
    {"large gray image over two threads", 4096, 1100, QynPixelFormat::Gray8, Fill::Clipped, {}},
    {"top left edge region odd width colour", 39, 12, QynPixelFormat::Color32, Fill::Random, {0, 0, 5, 4}},
    {"left edge band gray", 41, 9, QynPixelFormat::Gray8, Fill::Clipped, {0, 2, 1, 7}},
    {"one pixel at the far corner odd width gray", 33, 7, QynPixelFormat::Gray8, Fill::Random, {32, 6, 1, 1}},
    {"region the whole image colour", 21, 6, QynPixelFormat::Color32, Fill::Clipped, {0, 0, 21, 6}},
    {"large colour region inside over two threads", 2047, 1100, QynPixelFormat::Color32, Fill::Random,
     {700, 300, 601, 401}},
};

class EachRegion : public ::testing::TestWithParam<Region> {};

}  // namespace

TEST_P(EachRegion, StatisticsAndHistogramMatchAPlainCountOnEveryTarget)
{
    // Guards against vector paths that drop row tails, read past the region or the row,
    // overflow their lane sums over long rows, or merge threads' parts wrongly, and
    // against a deviation formula that loses exactness.
    const Region& r = GetParam();
    const auto px = imageFor(r);
    const QRect inside = QynRegionStats::clipped(*px, r.region);
    const bool color = r.format == QynPixelFormat::Color32;
    const int channels = color ? 3 : 1;

    QynHistogram expected;
    std::array<QynMeasureKernels::ChannelSums, 3> sums{};
    std::array<long double, 3> mean{}, deviation{};
    const auto pixels = std::uint64_t(std::max(0, inside.width())) * std::uint64_t(std::max(0, inside.height()));
    for (int c = 0; c < channels; ++c) {
        auto& s = sums[std::size_t(c)];
        for (int y = inside.top(); y <= inside.bottom(); ++y)
            for (int x = inside.left(); x <= inside.right(); ++x) {
                const int v = levelAt(*px, x, y, c);
                ++expected.counts[std::size_t(c)][std::size_t(v)];
                s.sum += std::uint64_t(v);
                s.sumSquares += std::uint64_t(v * v);
                s.atZero += v == 0;
                s.atFull += v == 255;
                s.min = std::min<std::uint8_t>(s.min, std::uint8_t(v));
                s.max = std::max<std::uint8_t>(s.max, std::uint8_t(v));
            }
        if (pixels == 0)
            continue;
        mean[std::size_t(c)] = static_cast<long double>(s.sum) / pixels;
        long double squares = 0;
        for (int y = inside.top(); y <= inside.bottom(); ++y)
            for (int x = inside.left(); x <= inside.right(); ++x)
                squares += std::pow(levelAt(*px, x, y, c) - mean[std::size_t(c)], 2.0L);
        deviation[std::size_t(c)] = std::sqrt(squares / pixels);
    }

    QynRowPool pool(2);
    for (const std::string& target : QynConvertKernels::availableTargets()) {
        SCOPED_TRACE("target " + target);
        ASSERT_TRUE(QynConvertKernels::useTarget(target));
        for (QynRowPool* sharing : {static_cast<QynRowPool*>(nullptr), &pool}) {
            const QynRegionStats stats = QynRegionStats::of(*px, r.region, sharing);
            ASSERT_EQ(stats.region, inside);
            ASSERT_EQ(stats.pixels, pixels);
            ASSERT_EQ(stats.channelCount(), channels);
            for (int c = 0; c < channels; ++c) {
                SCOPED_TRACE("channel " + std::to_string(c));
                const auto& got = stats.channels[std::size_t(c)];
                const auto& want = sums[std::size_t(c)];
                EXPECT_EQ(got.sum, want.sum);
                EXPECT_EQ(got.sumSquares, want.sumSquares);
                EXPECT_EQ(got.atZero, want.atZero);
                EXPECT_EQ(got.atFull, want.atFull);
                EXPECT_EQ(got.min, want.min);
                EXPECT_EQ(got.max, want.max);
                EXPECT_NEAR(stats.mean(c), double(mean[std::size_t(c)]), 1e-9);
                EXPECT_NEAR(stats.standardDeviation(c), double(deviation[std::size_t(c)]), 1e-9);
            }
        }
    }
    QynConvertKernels::useTarget({});

    QynHistogram wholeImage;
    for (int c = 0; c < channels; ++c)
        for (int y = 0; y < r.height; ++y)
            for (int x = 0; x < r.width; ++x)
                ++wholeImage.counts[std::size_t(c)][std::size_t(levelAt(*px, x, y, c))];
    for (QynRowPool* sharing : {static_cast<QynRowPool*>(nullptr), &pool}) {
        const QynHistogram histogram = QynHistogram::of(*px, r.region, sharing);
        EXPECT_EQ(histogram.region, inside);
        EXPECT_EQ(histogram.pixels, pixels);
        EXPECT_EQ(histogram.counts, expected.counts);
        for (int c = 0; c < channels; ++c) {
            EXPECT_EQ(histogram.atZero(c), sums[std::size_t(c)].atZero);
            EXPECT_EQ(histogram.atFull(c), sums[std::size_t(c)].atFull);
        }
        // The window's single reading: the region apart from the bands around it.
        const auto [image, inRegion] = QynHistogram::imageAndRegion(*px, r.region, sharing);
        EXPECT_EQ(image.region, QRect(0, 0, r.width, r.height));
        EXPECT_EQ(image.pixels, std::uint64_t(r.width) * std::uint64_t(r.height));
        EXPECT_EQ(image.counts, wholeImage.counts);
        EXPECT_EQ(inRegion.region, inside);
        EXPECT_EQ(inRegion.pixels, pixels);
        EXPECT_EQ(inRegion.counts, expected.counts);
    }
}

INSTANTIATE_TEST_SUITE_P(Measure, EachRegion, ::testing::ValuesIn(regions), NameOfCase());

namespace {

struct Line {
    const char* name;
    QLine line;
    QLine inside;  // the line as sampled, its ends clamped into the 41 x 23 image
};

const Line lines[] = {
    {"one pixel", {5, 5, 5, 5}, {5, 5, 5, 5}},
    {"left to right", {0, 3, 40, 3}, {0, 3, 40, 3}},
    {"bottom to top", {7, 22, 7, 0}, {7, 22, 7, 0}},
    {"shallow right to left", {38, 2, 1, 19}, {38, 2, 1, 19}},
    {"steep", {3, 0, 11, 22}, {3, 0, 11, 22}},
    {"diagonal up", {0, 22, 22, 0}, {0, 22, 22, 0}},
    {"ends outside the image", {-10, -4, 60, 30}, {0, 0, 40, 22}},
};

class EachLine : public ::testing::TestWithParam<Line> {};

}  // namespace

TEST_P(EachLine, SamplesEveryPixelAlongTheLineOnce)
{
    // Guards against profiles that skip or repeat pixels, stray from the line, miss an
    // end, read outside the image or swap the colour channels.
    const Line& l = GetParam();
    for (QynPixelFormat format : {QynPixelFormat::Gray8, QynPixelFormat::Color32}) {
        const auto px = imageFor({"", 41, 23, format, Fill::Random, {}});
        const QynLineProfile profile = QynLineProfile::of(*px, l.line);
        ASSERT_EQ(profile.line, l.inside);
        const QLine& in = l.inside;
        const int dx = in.dx(), dy = in.dy();
        const int steps = std::max(std::abs(dx), std::abs(dy));
        ASSERT_EQ(profile.samples.size(), std::size_t(steps) + 1);
        EXPECT_EQ(profile.samples.front().at, in.p1());
        EXPECT_EQ(profile.samples.back().at, in.p2());
        for (std::size_t i = 0; i < profile.samples.size(); ++i) {
            const QynLineProfile::Sample& s = profile.samples[i];
            SCOPED_TRACE("sample " + std::to_string(i));
            // One step along the longer axis each sample, within half a pixel of the line.
            if (steps > 0) {
                const double t = double(i) / steps;
                EXPECT_LE(std::abs(s.at.x() - (in.x1() + t * dx)), 0.5 + 1e-9);
                EXPECT_LE(std::abs(s.at.y() - (in.y1() + t * dy)), 0.5 + 1e-9);
                EXPECT_EQ(std::abs(dx) >= std::abs(dy) ? std::abs(s.at.x() - in.x1()) : std::abs(s.at.y() - in.y1()),
                          int(i));
            }
            for (int c = 0; c < profile.channelCount(); ++c)
                EXPECT_EQ(s.level[std::size_t(c)], levelAt(*px, s.at.x(), s.at.y(), c));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Measure, EachLine, ::testing::ValuesIn(lines), NameOfCase());

TEST(MeasureText, TabSeparatedRowsAPasteKeepsApart)
{
    // Guards against a layout a spreadsheet splits wrongly: a missing tab, a locale's
    // decimal comma, a channel order other than red, green, blue.
    QynPixelBuffer px(2, 1, QynPixelFormat::Color32);
    const std::uint8_t bytes[] = {1, 2, 255, 0, 3, 4, 0, 0};  // B, G, R, X twice
    std::copy(std::begin(bytes), std::end(bytes), px.row(0));
    EXPECT_EQ(qyn::statsText(QynRegionStats::of(px)),
              "region\t0\t0\t2\t1\n"
              "channel\tpixels\tmean\tstd dev\tmin\tmax\tat 0\tat 255\n"
              "red\t2\t127.500\t127.500\t0\t255\t1\t1\n"
              "green\t2\t3.000\t1.000\t2\t4\t0\t0\n"
              "blue\t2\t2.000\t1.000\t1\t3\t0\t0\n");
    EXPECT_EQ(qyn::profileText(QynLineProfile::of(px, {0, 0, 1, 0})),
              "from\t0\t0\tto\t1\t0\nx\ty\tred\tgreen\tblue\n0\t0\t255\t2\t1\n1\t0\t0\t4\t3\n");
    const QString histogram = qyn::histogramText(QynHistogram::of(px));
    EXPECT_TRUE(histogram.startsWith("level\tred\tgreen\tblue\n0\t1\t0\t0\n1\t0\t0\t1\n"));
    EXPECT_EQ(histogram.count('\n'), 257);
    EXPECT_EQ(qyn::clippingText(QynHistogram::of(px)), "channel\tat 0\tat 255\nred\t1\t1\ngreen\t0\t0\nblue\t0\t0\n");
}
