// Long runs in one process: thousands of conversions and load/save cycles must not
// make the heap grow beyond the images' own memory (leaks, caches that never empty).
#include "QynCalls.h"
#include "QynChangeImage.h"
#include "QynFileAccess.h"
#include "QynImage.h"
#include "SlotFill.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <array>
#include <cstddef>
#include <cstdio>
#include <functional>

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QYN_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define QYN_ASAN 1
#endif

#ifdef QYN_ASAN
// From the sanitizer runtime; GCC ships no header for it.
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#else
#include <malloc.h>
#endif

namespace {

// Bytes the program holds on the heap now (under ASan, without its quarantine).
std::size_t liveHeapBytes()
{
#ifdef QYN_ASAN
    return __sanitizer_get_current_allocated_bytes();
#else
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
#endif
}

// Allowed growth: far below what one leaked slot per run would add up to.
constexpr std::size_t Slack = 512 * 1024;

}  // namespace

// Guards against leaks and unbounded caches in the conversion engine.
TEST(Soak, TenThousandRunsOfEachConversionKeepTheHeapFlat)
{
    constexpr int Runs = 10000;
    std::array<QynImage, 4> images;
    QynChangeImage change;
    const std::array<std::int32_t, 256> table = [] {
        std::array<std::int32_t, 256> t{};
        for (int i = 0; i < 256; ++i)
            t[i] = ((255 - i) << 16) | ((255 - i) << 8) | i;
        return t;
    }();

    struct Kind {
        const char* name;
        std::function<void()> prepare;
        std::function<QynStatus()> run;
    };
    const std::array<Kind, 4> kinds{{
        {"compose",
         [&] {
             for (int s = 0; s < 3; ++s)
                 fixture::fillPattern(images[s], 37, 29, QynPixelFormat::Gray8, s);
         },
         [&] {
             qyn::call(images[3], QynImage::Clear);
             return qyn::call(change, QynChangeImage::ComposeChannels,
                              {&images[0], &images[1], &images[2], &images[3]});
         }},
        {"decompose", [&] { fixture::fillPattern(images[0], 37, 29, QynPixelFormat::Color32, 7); },
         [&] {
             for (int s = 1; s < 4; ++s)
                 qyn::call(images[s], QynImage::Clear);
             return qyn::call(change, QynChangeImage::DecomposeChannels,
                              {&images[0], &images[1], &images[2], &images[3]});
         }},
        {"colour to gray", [&] { fixture::fillPattern(images[0], 37, 29, QynPixelFormat::Color32, 9); },
         [&] {
             qyn::call(images[1], QynImage::Clear);
             return qyn::call(change, QynChangeImage::ColorToGray,
                              {&images[0], &images[1], 0.299, 0.587, 0.144});
         }},
        {"gray to colour", [&] { fixture::fillPattern(images[0], 37, 29, QynPixelFormat::Gray8, 11); },
         [&] {
             qyn::call(images[1], QynImage::Clear);
             return qyn::call(change, QynChangeImage::GrayToColor,
                              {&images[0], &images[1], 256, std::span<const std::int32_t>(table)});
         }},
    }};

    for (const Kind& kind : kinds) {
        kind.prepare();
        ASSERT_EQ(kind.run(), QynStatus::Ok) << kind.name;  // warm up: destinations allocated
        const std::size_t before = liveHeapBytes();
        for (int i = 0; i < Runs; ++i)
            ASSERT_EQ(kind.run(), QynStatus::Ok) << kind.name << " run " << i;
        const std::size_t after = liveHeapBytes();
        EXPECT_LE(after, before + Slack) << kind.name << ": heap grew by " << (after - before);
        std::printf("%s: %d runs, heap %zu -> %zu bytes\n", kind.name, Runs, before, after);
    }
}

// Guards against leaks in the file reader and writer (buffers, temporary files, handles).
TEST(Soak, AThousandLoadSaveCyclesKeepTheHeapFlat)
{
    constexpr int Cycles = 500;  // each saves and loads a colour and a gray file
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QynFileAccess files;
    QynImage colour;
    QynImage gray;
    fixture::fillPattern(colour, 41, 23, QynPixelFormat::Color32, 3);
    fixture::fillPattern(gray, 41, 23, QynPixelFormat::Gray8, 5);

    auto cycle = [&](QynImage& slot, const QString& name) {
        QynImage loaded;
        std::int32_t code = -1;
        qyn::put(files, QynFileAccess::FilePath, dir.filePath(name));
        qyn::call(files, QynFileAccess::SaveImage, {&slot});
        qyn::call(files, QynFileAccess::GetLastResult, {&code});
        if (code != 0)
            return code;
        qyn::call(files, QynFileAccess::LoadImage, {&loaded});
        qyn::call(files, QynFileAccess::GetLastResult, {&code});
        return code;
    };

    ASSERT_EQ(cycle(colour, QStringLiteral("c.bmp")), 0);
    ASSERT_EQ(cycle(gray, QStringLiteral("g.bmp")), 0);
    const std::size_t before = liveHeapBytes();
    for (int i = 0; i < Cycles; ++i) {
        ASSERT_EQ(cycle(colour, QStringLiteral("c.bmp")), 0) << "cycle " << i;
        ASSERT_EQ(cycle(gray, QStringLiteral("g.bmp")), 0) << "cycle " << i;
    }
    const std::size_t after = liveHeapBytes();
    EXPECT_LE(after, before + Slack) << "heap grew by " << (after - before);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 2) << "temporary files left behind";
    std::printf("load/save: %d cycles, heap %zu -> %zu bytes\n", 2 * Cycles, before, after);
}
