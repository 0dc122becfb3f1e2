// The four conversions of QynChangeImage against OpenCV and against the memory
// bandwidth bound, at three sizes, with one thread and with every core. Every output is
// checked against the scalar reference in the same run.
//
//   bench_convert [repetitions scale, default 1]
#include "QynCalls.h"
#include "QynChangeImage.h"
#include "QynConvertKernels.h"
#include "QynConvertReference.h"
#include "QynImage.h"
#include "QynRowPool.h"

#include <opencv2/core.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "BenchBound.h"
#include "BenchTiming.h"

namespace {


std::string cpuModel()
{
    std::ifstream info("/proc/cpuinfo");
    for (std::string line; std::getline(info, line);)
        if (line.rfind("model name", 0) == 0)
            return line.substr(line.find(':') + 2);
    return "unknown";
}

struct Row {
    std::string conversion, size, route;
    int threads;
    Timing ours, opencv, bound;
    double bytesMoved;
    bool oursExact, opencvExact;
};

void print(const Row& r)
{
    const double gbps = r.bytesMoved / (r.ours.median * 1e-3) / 1e9;
    std::printf("| %-10s | %-9s | %d | %8.3f / %8.3f | %6.2f | %-11s | %8.3f / %8.3f | %8.3f / %8.3f "
                "| %6.2f | %5.2f | %s / %s |\n",
                r.conversion.c_str(), r.size.c_str(), r.threads, r.ours.median, r.ours.min, gbps,
                r.route.c_str(), r.opencv.median, r.opencv.min, r.bound.median, r.bound.min,
                r.opencv.median / r.ours.median, r.bound.median / r.ours.median,
                r.oursExact ? "yes" : "NO", r.opencvExact ? "yes" : "NO");
    std::fflush(stdout);
}

bool same(const QynImage& slot, const std::vector<std::uint8_t>& expected)
{
    const QynPixelBuffer* p = slot.pixels();
    return p && p->byteCount() == expected.size()
        && std::memcmp(p->data(), expected.data(), expected.size()) == 0;
}

bool same(const cv::Mat& m, const std::vector<std::uint8_t>& expected)
{
    return m.isContinuous() && m.total() * m.elemSize() == expected.size()
        && std::memcmp(m.data, expected.data(), expected.size()) == 0;
}

cv::Mat matOf(const QynImage& slot)
{
    const QynPixelBuffer& p = *slot.pixels();
    const int type = p.format() == QynPixelFormat::Gray8 ? CV_8UC1 : CV_8UC4;
    return cv::Mat(p.height(), p.width(), type, const_cast<std::uint8_t*>(p.data()),
                   static_cast<std::size_t>(p.stride()));
}

QynStatus invoke(QynComponent& c, std::int32_t id, std::initializer_list<QynVariant> args)
{
    return c.invoke(id, QynCallKind::Method, std::span(args.begin(), args.size())).status;
}

}  // namespace

int main(int argc, char** argv)
{
    const double scale = argc > 1 ? std::max(0.1, std::atof(argv[1])) : 1.0;
    const int cores = std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
    std::printf("CPU: %s, %d cores; Highway target: %s; OpenCV %s\n", cpuModel().c_str(), cores,
                QynConvertKernels::targetName().c_str(), CV_VERSION);
    std::printf("Times in ms, median / minimum; GB/s = bytes read + written per second by ours.\n\n");
    std::printf("| conversion | size | threads | ours ms | GB/s | OpenCV route | OpenCV ms | bound ms "
                "| OpenCV/ours | bound/ours | exact ours / OpenCV |\n");
    std::printf("|---|---|---|---|---|---|---|---|---|---|---|\n");

    const QynGrayWeights weights;  // 0.299, 0.587, 0.144
    // The program's yellow to blue table, which the engine computes (each byte rises or
    // falls by one a level), and a table of random entries, which it looks up.
    struct ColourTable {
        std::string conversion;
        std::vector<std::int32_t> entries;
        std::vector<std::uint8_t> expected;
    };
    std::string firstRuns;  // the table of first runs, printed after the main one
    std::mt19937 random(1);
    std::vector<ColourTable> tables{{"to colour", std::vector<std::int32_t>(256), {}},
                                    {"to colour, random table", std::vector<std::int32_t>(256), {}}};
    for (int i = 0; i < 256; ++i) {
        tables[0].entries[i] = (255 - i) << 16 | (255 - i) << 8 | i;
        tables[1].entries[i] = static_cast<std::int32_t>(random() & 0xffffff);
    }

    for (const auto& [w, h] : {std::pair{640, 480}, std::pair{2048, 2048}, std::pair{8192, 8192}}) {
        const std::string size = std::to_string(w) + "x" + std::to_string(h);
        const std::size_t n = static_cast<std::size_t>(w) * h;
        const int reps = std::max(5, static_cast<int>(scale * (n < 1000000 ? 300 : n < 8000000 ? 40 : 12)));

        // Sources: a colour slot and three gray slots of random pixels (X byte 0).
        QynImage color, red, green, blue, out1, out2, out3;
        {
            QynPixelBuffer& c = color.prepareForWrite(w, h, QynPixelFormat::Color32);
            for (std::size_t i = 0; i < n; ++i)
                reinterpret_cast<std::uint32_t*>(c.data())[i] = random() & 0xffffff;
            for (QynImage* g : {&red, &green, &blue}) {
                QynPixelBuffer& p = g->prepareForWrite(w, h, QynPixelFormat::Gray8);
                for (std::size_t i = 0; i < n; ++i)
                    p.data()[i] = static_cast<std::uint8_t>(random());
            }
        }
        std::vector<std::uint8_t> composed(4 * n), planeR(n), planeG(n), planeB(n), gray(n);
        const auto plane = [](const QynImage& s) {
            return QynConstPlane{s.pixels()->data(), s.pixels()->stride()};
        };
        QynConvertReference::compose(plane(red), plane(green), plane(blue), {composed.data(), 4 * w}, w, h);
        QynConvertReference::decompose(plane(color), {planeR.data(), w}, {planeG.data(), w},
                                       {planeB.data(), w}, w, h);
        QynConvertReference::colorToGray(plane(color), {gray.data(), w}, w, h, weights);
        for (ColourTable& t : tables) {
            t.expected.resize(4 * n);
            QynConvertReference::grayToColor(plane(red), {t.expected.data(), 4 * w}, w, h,
                                             reinterpret_cast<const std::uint32_t*>(t.entries.data()));
        }

        cv::Mat cvR = matOf(red), cvG = matOf(green), cvB = matOf(blue), cvC = matOf(color);
        cv::Mat zero = cv::Mat::zeros(h, w, CV_8UC1);
        cv::Mat cvOut4(h, w, CV_8UC4), cvOutGray(h, w, CV_8UC1), cvOut32(h, w, CV_32SC1);
        std::vector<cv::Mat> cvPlanes{cv::Mat(h, w, CV_8UC1), cv::Mat(h, w, CV_8UC1),
                                      cv::Mat(h, w, CV_8UC1), cv::Mat(h, w, CV_8UC1)};

        // No OpenCV kernel rounds (wr*R + wg*G) + wb*B in double, so its exact route is
        // split, scaled conversion to double, two adds and a rounding.
        const auto opencvGray = [&] {
            cv::split(cvC, cvPlanes);
            cv::Mat sum, g64, b64;
            cvPlanes[2].convertTo(sum, CV_64F, weights.red);
            cvPlanes[1].convertTo(g64, CV_64F, weights.green);
            cvPlanes[0].convertTo(b64, CV_64F, weights.blue);
            cv::add(sum, g64, sum);
            cv::add(sum, b64, sum);
            sum.convertTo(cvOutGray, CV_8U);
        };

        for (int threads : {1, cores}) {
            QynChangeImage engine;
            engine.setThreadCount(threads);
            cv::setNumThreads(threads);
            const auto clear = [](std::vector<QynImage*> targets) {
                return [targets] {
                    for (QynImage* s : targets)
                        qyn::call(*s, QynImage::Clear);
                };
            };

            // Compose: OpenCV merges four planes (blue, green, red, zero).
            {
                Row r{"compose", size, "merge", threads, {}, {}, {}, 7.0 * n, false, false};
                r.ours = timeIt(reps, clear({&out1}), [&] {
                    invoke(engine, QynChangeImage::ComposeChannels, {&red, &green, &blue, &out1});
                });
                r.oursExact = same(out1, composed);
                const std::vector<cv::Mat> in{cvB, cvG, cvR, zero};
                r.opencv = timeIt(reps, [] {}, [&] { cv::merge(in, cvOut4); });
                r.opencvExact = same(cvOut4, composed);
                r.bound = Bound(static_cast<std::size_t>(3.5 * n)).time(threads, reps);
                print(r);
            }
            // Decompose: OpenCV's split of all four channels, or mixChannels of three.
            {
                Row r{"decompose", size, "split", threads, {}, {}, {}, 7.0 * n, false, false};
                r.ours = timeIt(reps, clear({&out1, &out2, &out3}), [&] {
                    invoke(engine, QynChangeImage::DecomposeChannels, {&color, &out1, &out2, &out3});
                });
                r.oursExact = same(out1, planeR) && same(out2, planeG) && same(out3, planeB);
                const Timing split = timeIt(reps, [] {}, [&] { cv::split(cvC, cvPlanes); });
                const bool splitExact = same(cvPlanes[2], planeR) && same(cvPlanes[1], planeG)
                    && same(cvPlanes[0], planeB);
                std::vector<cv::Mat> three{cvPlanes[0], cvPlanes[1], cvPlanes[2]};
                const int pairs[] = {0, 0, 1, 1, 2, 2};
                const Timing mix = timeIt(reps, [] {}, [&] {
                    cv::mixChannels(&cvC, 1, three.data(), 3, pairs, 3);
                });
                const bool mixExact = same(three[2], planeR) && same(three[1], planeG)
                    && same(three[0], planeB);
                r.opencv = split.median <= mix.median ? split : mix;
                r.route = split.median <= mix.median ? "split" : "mixChannels";
                r.opencvExact = split.median <= mix.median ? splitExact : mixExact;
                r.bound = Bound(static_cast<std::size_t>(3.5 * n)).time(threads, reps);
                print(r);
            }
            // Colour to gray against OpenCV's exact route.
            {
                Row r{"to gray", size, "split+double", threads, {}, {}, {}, 5.0 * n, false, false};
                r.ours = timeIt(reps, clear({&out1}), [&] {
                    invoke(engine, QynChangeImage::ColorToGray,
                           {&color, &out1, weights.red, weights.green, weights.blue});
                });
                r.oursExact = same(out1, gray);
                r.opencv = timeIt(std::max(3, reps / 4), [] {}, opencvGray);
                r.opencvExact = same(cvOutGray, gray);
                r.bound = Bound(static_cast<std::size_t>(2.5 * n)).time(threads, reps);
                print(r);
            }
            // Gray to colour: OpenCV's LUT with a 32-bit table gives the words directly.
            for (ColourTable& t : tables) {
                Row r{t.conversion, size, "LUT", threads, {}, {}, {}, 5.0 * n, false, false};
                r.ours = timeIt(reps, clear({&out1}), [&] {
                    invoke(engine, QynChangeImage::GrayToColor,
                           {&red, &out1, 256, std::span<const std::int32_t>(t.entries)});
                });
                r.oursExact = same(out1, t.expected);
                const cv::Mat lut(1, 256, CV_32SC1, t.entries.data());
                r.opencv = timeIt(reps, [] {}, [&] { cv::LUT(cvR, lut, cvOut32); });
                r.opencvExact = same(cvOut32, t.expected);
                r.bound = Bound(static_cast<std::size_t>(2.5 * n)).time(threads, reps);
                print(r);
            }
        }

        // The first Execute after a load writes into slots that hold no memory yet, so its
        // time includes the page faults of the new image; OpenCV's outputs are new too.
        if (w == 8192) {
            QynChangeImage engine;
            cv::setNumThreads(cores);
            std::unique_ptr<QynImage> fresh[3];
            const auto renew = [&] {
                for (auto& slot : fresh)
                    slot = std::make_unique<QynImage>();
            };
            const auto release = [&] {
                cvOut4.release();
                cvOut32.release();
                cvOutGray.release();
                for (cv::Mat& m : cvPlanes)
                    m.release();
            };
            const int few = std::max(3, reps / 2);
            const auto line = [&](const char* conversion, const Timing& ours, const char* route,
                                  const Timing& opencv) {
                char text[160];
                std::snprintf(text, sizeof text, "| %-9s | %8.3f / %8.3f | %-12s | %8.3f / %8.3f | %5.2f |\n",
                              conversion, ours.median, ours.min, route, opencv.median, opencv.min,
                              opencv.median / ours.median);
                firstRuns += text;
            };
            line("compose",
                 timeIt(few, renew, [&] {
                     invoke(engine, QynChangeImage::ComposeChannels,
                            {&red, &green, &blue, fresh[0].get()});
                 }),
                 "merge", timeIt(few, release, [&] { cv::merge(std::vector<cv::Mat>{cvB, cvG, cvR, zero}, cvOut4); }));
            line("decompose",
                 timeIt(few, renew, [&] {
                     invoke(engine, QynChangeImage::DecomposeChannels,
                            {&color, fresh[0].get(), fresh[1].get(), fresh[2].get()});
                 }),
                 "split", timeIt(few, release, [&] { cv::split(cvC, cvPlanes); }));
            line("to gray",
                 timeIt(few, renew, [&] {
                     invoke(engine, QynChangeImage::ColorToGray,
                            {&color, fresh[0].get(), weights.red, weights.green, weights.blue});
                 }),
                 "split+double", timeIt(3, release, opencvGray));
            line("to colour",
                 timeIt(few, renew, [&] {
                     invoke(engine, QynChangeImage::GrayToColor,
                            {&red, fresh[0].get(), 256, std::span<const std::int32_t>(tables[0].entries)});
                 }),
                 "LUT", timeIt(few, release, [&] {
                     cv::LUT(cvR, cv::Mat(1, 256, CV_32SC1, tables[0].entries.data()), cvOut32);
                 }));
        }
    }
    if (!firstRuns.empty())
        std::printf("\nFirst run into new destinations (as the first Execute after a load), "
                    "8192x8192, %d threads:\n\n| conversion | ours ms | OpenCV route | OpenCV ms "
                    "| OpenCV/ours |\n|---|---|---|---|---|\n%s",
                    cores, firstRuns.c_str());
    std::printf("\nOpenCV routes: compose = cv::merge of 4 planes; decompose = the faster of "
                "cv::split (4 planes) and cv::mixChannels (3); to gray = cv::split, "
                "convertTo(CV_64F, weight) x3, cv::add x2, convertTo(CV_8U); to colour = "
                "cv::LUT with a CV_32S table.\n");
    return 0;
}
