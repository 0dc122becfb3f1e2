// Time from Grab to its return, as the program calls it (PrepareImage, then Grab), for
// each video configuration given: the first Grab after opening, then the median and
// worst of 50, against one frame period of the source.
//
//   bench_grab CONFIG.ini [CONFIG.ini ...]
//
// A simulated GigE Vision camera for it: arv-fake-gv-camera-0.8 -i 127.0.0.1 -s BENCH
// (and, as root, run bench_grab through setpriv --bounding-set=-net_raw
// --inh-caps=-net_raw: Aravis's raw packet socket sees nothing on loopback).
#include "QynImage.h"
#include "QynVideo.h"

#include <QCoreApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    using Clock = std::chrono::steady_clock;
    const auto ms = [](Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); };
    std::printf("%-40s %10s %10s %10s %8s\n", "configuration", "first ms", "median ms", "worst ms", "failed");
    for (int i = 1; i < argc; ++i) {
        QynVideo video;
        video.setConfigFilePath(QString::fromLocal8Bit(argv[i]));
        if (video.openDevice() != 0) {
            std::printf("%-40s does not open: %s\n", argv[i], qPrintable(video.lastErrorText()));
            continue;
        }
        QynImage slot;
        std::vector<double> times;
        int failed = 0;
        double first = 0;
        for (int n = 0; n <= 50; ++n) {
            const auto start = Clock::now();
            video.prepareImage(slot);
            failed += video.grab(slot) != 0;
            (n == 0 ? first : times.emplace_back()) = ms(Clock::now() - start);
        }
        std::sort(times.begin(), times.end());
        std::printf("%-40s %10.1f %10.1f %10.1f %8d\n", argv[i], first, times[times.size() / 2], times.back(), failed);
    }
}
