// The operator's whole path with 8192 x 8192 images, each step as the program calls it:
// load three gray BMP files into slots 1 to 3, compose them into slot 4, show slot 4
// (ShowImage and the first paint of a 1024 x 768 display area) and save it as a 24-bit
// BMP. Each step against its floor, and the sums: reading the three files into memory
// already touched; the memory-bandwidth bound of the composition; reading every byte of
// slot 4 once on every core; writing and syncing the saved file's bytes. Runs off screen.
//
//   QT_QPA_PLATFORM=offscreen bench_operator_path [folder, default /tmp] [repetitions, default 5]
#include "QynCalls.h"
#include "QynChangeImage.h"
#include "QynDisplayEx.h"
#include "QynFileAccess.h"
#include "QynImage.h"
#include "QynRowPool.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPixmap>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>


#include "BenchBound.h"
#include "BenchFileIo.h"
#include "BenchTiming.h"

namespace {

constexpr int Side = 8192;

QynComponent* ref(QynImage& slot)
{
    return &slot;
}

void fillGray(QynImage& slot, int seed)
{
    QynPixelBuffer& px = slot.prepareForWrite(Side, Side, QynPixelFormat::Gray8);
    for (int y = 0; y < Side; ++y)
        for (int x = 0; x < Side; ++x)
            px.row(y)[x] = static_cast<std::uint8_t>(x * seed + y);
}

struct Step {
    const char* name;
    Timing ours, floor;
};

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QDir folder(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::tempPath());
    const int repetitions = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    const int threads = std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
    std::printf("bench_operator_path: %d x %d, %d runs each, %d threads, files in %s\n", Side, Side,
                repetitions, threads, qPrintable(folder.path()));

    QString inputs[3];
    for (int i = 0; i < 3; ++i) {
        QynImage source;
        fillGray(source, 3 + 2 * i);
        inputs[i] = folder.filePath(QStringLiteral("operator-path-%1.bmp").arg(i + 1));
        if (QynFileAccess::saveFile(inputs[i], source) != 0) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(inputs[i]));
            return 1;
        }
    }
    const QString output = folder.filePath(QStringLiteral("operator-path-colour.bmp"));

    QynImage s1, s2, s3, s4;
    QynImage* loaded[3] = {&s1, &s2, &s3};
    QynChangeImage change;
    QynDisplayEx display;
    display.resize(1024, 768);
    QPixmap area(1024, 768);
    std::vector<Step> steps;

    steps.push_back({"load three gray files", timeIt(repetitions, [&] {
                         for (int i = 0; i < 3; ++i)
                             if (QynFileAccess::loadFile(inputs[i], *loaded[i]) != 0)
                                 std::abort();
                     }),
                     {}});
    std::vector<char> fileBytes[3];
    for (int i = 0; i < 3; ++i)
        fileBytes[i].assign(static_cast<std::size_t>(QFileInfo(inputs[i]).size()), 1);
    steps.back().floor = timeIt(repetitions, [&] {
        for (int i = 0; i < 3; ++i)
            plainReadInto(QFile::encodeName(inputs[i]), fileBytes[i].data(), fileBytes[i].size());
    });

    steps.push_back({"compose into slot 4", timeIt(repetitions, [&] {
                         qyn::call(s4, QynImage::Clear);
                         if (qyn::call(change, QynChangeImage::ComposeChannels, {ref(s1), ref(s2), ref(s3), ref(s4)})
                             != QynStatus::Ok)
                             std::abort();
                     }),
                     Bound(static_cast<std::size_t>(3.5 * Side * Side)).time(threads, repetitions)});

    // A check that the composition made what it should: red from slot 1, blue from slot 3.
    const QynPixelBuffer* colour = s4.pixels();
    if (!colour || colour->row(7)[4 * 5 + 2] != static_cast<std::uint8_t>(5 * 3 + 7)
        || colour->row(7)[4 * 5] != static_cast<std::uint8_t>(5 * 7 + 7)) {
        std::fprintf(stderr, "slot 4 does not hold the composed image\n");
        return 1;
    }
    QynRowPool pool(threads);
    std::vector<std::uint64_t> sums(Side, 0);
    steps.push_back({"show slot 4 (ShowImage + first paint)", timeIt(repetitions, [&] {
                         display.showImage(s4);
                         display.render(&area);
                     }),
                     timeIt(repetitions, [&] {
                         pool.forRows(Side, threads, [&](std::ptrdiff_t begin, std::ptrdiff_t end) {
                             readRowsOnce(*colour, begin, end, sums);
                         });
                     })});

    steps.push_back({"save slot 4 (24-bit BMP, synced)", timeIt(repetitions, [&] {
                         if (QynFileAccess::saveFile(output, s4) != 0)
                             std::abort();
                     }),
                     {}});
    std::vector<char> saved(static_cast<std::size_t>(QFileInfo(output).size()), 1);
    const QByteArray plain = QFile::encodeName(folder.filePath(QStringLiteral("operator-path-plain.bmp")));
    steps.back().floor = timeIt(repetitions, [&] { plainWrite(plain, saved.data(), saved.size(), true); });

    double ours = 0, floors = 0;
    std::printf("| step | ours, median ms | floor, median ms | ratio |\n|---|---|---|---|\n");
    for (const Step& s : steps) {
        std::printf("| %s | %.1f | %.1f | %.2f |\n", s.name, s.ours.median, s.floor.median, s.ours.median / s.floor.median);
        ours += s.ours.median;
        floors += s.floor.median;
    }
    std::printf("| the whole path | %.1f | %.1f | %.2f |\n", ours, floors, ours / floors);
    for (int i = 0; i < 3; ++i)
        QFile::remove(inputs[i]);
    QFile::remove(output);
    QFile::remove(QFile::decodeName(plain));
    return 0;
}
