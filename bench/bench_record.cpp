// The recording engine alone, without a camera: synthetic 512 x 512 Mono8 frames pushed
// at a camera's pace (300 a second by default) from a thread of their own into each
// folder given, with and without a one-second stall of the disk (the writers held
// back), and with a memory budget too small for that stall. For each run: frames
// offered, recorded and lost (checked against the index frames.csv), the time a push
// takes on the delivering thread (median and worst), the process's CPU time as a share
// of one core, and the rate written. Then the capacity: as many frames as the budget
// holds pushed at once and drained, against a plain loop writing the same files (no
// sync, no rename: what GStreamer's multifilesink does).
//
//   bench_record [--seconds S] [--fps N] [FOLDER ...]     (default: 10 s, 300 fps, /dev/shm /var/tmp)
#include "QynBmpEncoder.h"
#include "QynRecorder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int Side = 512;
constexpr std::size_t FrameBytes = std::size_t{Side} * Side;

// Writers entering their next write wait while held, or until this time (ns on the
// steady clock).
std::atomic<std::int64_t> stallUntil{0};
std::atomic<bool> held{false};

std::int64_t nowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
}

void stallHook(std::uint64_t)
{
    while (held || nowNs() < stallUntil)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

// Frame k: the moving diagonal ramp of the simulated GigE Vision camera.
void fillRamp(std::vector<std::uint8_t>& pixels, std::uint64_t k)
{
    for (int y = 0; y < Side; ++y)
        for (int x = 0; x < Side; ++x)
            pixels[static_cast<std::size_t>(y) * Side + static_cast<std::size_t>(x)] = static_cast<std::uint8_t>(x + y + k);
}

double cpuSeconds()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

struct IndexCheck {
    std::uint64_t rows = 0, lost = 0;
    bool contiguous = true;
};

IndexCheck checkIndex(const QString& folder)
{
    IndexCheck check;
    QFile file(QDir(folder).filePath("frames.csv"));
    if (!file.open(QIODevice::ReadOnly))
        return {0, 0, false};
    file.readLine();
    while (!file.atEnd()) {
        const QList<QByteArray> fields = file.readLine().trimmed().split(',');
        if (fields.size() != 4)
            return {check.rows, check.lost, false};
        if (!fields[0].isEmpty())
            check.contiguous = check.contiguous && fields[0].toULongLong() == ++check.rows;
        check.lost += fields[3].toULongLong();
    }
    return check;
}

struct Run {
    const char* name;
    QynRecordSettings::Format format;
    bool stall;
    std::size_t memory;
};

void paced(const QString& target, const Run& run, double seconds, int fps)
{
    QTemporaryDir dir(QDir(target).filePath("bench-record-XXXXXX"));
    QynRecordSettings settings;
    settings.folder = dir.filePath("run");
    settings.format = run.format;
    settings.memoryBytes = run.memory;
    QynRecorder recorder(settings);
    if (const QString problem = recorder.start(); !problem.isEmpty()) {
        std::printf("%s: %s\n", run.name, qPrintable(problem));
        return;
    }
    std::vector<std::uint8_t> pixels(FrameBytes);
    const auto frames = static_cast<std::uint64_t>(seconds * fps);
    std::vector<double> pushUs;
    pushUs.reserve(frames);
    const double cpuBefore = cpuSeconds();
    const auto start = Clock::now();
    const auto period = std::chrono::nanoseconds(1'000'000'000 / fps);
    for (std::uint64_t k = 0; k < frames; ++k) {
        std::this_thread::sleep_until(start + k * period);
        if (run.stall && k == frames / 3)
            stallUntil = nowNs() + 1'000'000'000;
        fillRamp(pixels, k);
        const QynRecordFrame frame{pixels.data(), Side, Side, Side, QynPixelFormat::Gray8, k,
                                   static_cast<std::int64_t>(k) * period.count(), 0};
        const auto before = Clock::now();
        recorder.push(frame);
        pushUs.push_back(std::chrono::duration<double, std::micro>(Clock::now() - before).count());
    }
    const QString failure = recorder.stop();
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();
    const double cpu = cpuSeconds() - cpuBefore;
    const QynRecordStatus status = recorder.status();
    const IndexCheck index = checkIndex(settings.folder);
    std::sort(pushUs.begin(), pushUs.end());
    const bool truthful = index.contiguous && index.rows == status.recorded && index.rows + index.lost == frames;
    std::printf("| %s | %s | %.0f MiB | %llu | %llu | %llu | %s | %.0f / %.0f / %.0f | %.0f %% | %.1f |%s\n",
                qPrintable(target), run.name, static_cast<double>(run.memory) / (1 << 20),
                static_cast<unsigned long long>(frames), static_cast<unsigned long long>(status.recorded),
                static_cast<unsigned long long>(status.lost), truthful ? "yes" : "NO", pushUs[pushUs.size() / 2],
                pushUs[pushUs.size() * 99 / 100], pushUs.back(), 100 * cpu / wall, static_cast<double>(status.bytesWritten) / 1e6 / wall,
                failure.isEmpty() ? "" : qPrintable(" " + failure));
    std::fflush(stdout);
}

// Frames a second the writers sustain: the budget filled at once, then drained.
double capacity(const QString& target, QynRecordSettings::Format format, int frames)
{
    QTemporaryDir dir(QDir(target).filePath("bench-record-XXXXXX"));
    QynRecordSettings settings;
    settings.folder = dir.filePath("run");
    settings.format = format;
    settings.memoryBytes = FrameBytes * static_cast<std::size_t>(frames);
    QynRecorder recorder(settings);
    if (!recorder.start().isEmpty())
        return 0;
    std::vector<std::uint8_t> pixels(FrameBytes);
    fillRamp(pixels, 0);
    held = true;  // every frame in memory before the first write
    for (int k = 0; k < frames; ++k)
        recorder.push({pixels.data(), Side, Side, Side, QynPixelFormat::Gray8, std::uint64_t(k), std::nullopt, 0});
    held = false;
    const auto start = Clock::now();
    recorder.stop();
    return static_cast<double>(recorder.status().recorded) / std::chrono::duration<double>(Clock::now() - start).count();
}

// The same BMP files written one after another with plain writes: no sync, no rename.
double plainFiles(const QString& target, int frames)
{
    QTemporaryDir dir(QDir(target).filePath("bench-record-XXXXXX"));
    QynPixelBuffer pixels(Side, Side, QynPixelFormat::Gray8);
    std::vector<std::uint8_t> ramp(FrameBytes);
    fillRamp(ramp, 0);
    std::copy(ramp.begin(), ramp.end(), pixels.data());
    const auto start = Clock::now();
    for (int k = 0; k < frames; ++k) {
        QFile file(dir.filePath(QString("frame-%1.bmp").arg(k, 6, 10, QChar('0'))));
        if (!file.open(QIODevice::WriteOnly) || !QynBmpEncoder::write(file, pixels))
            return 0;
    }
    return frames / std::chrono::duration<double>(Clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    double seconds = 10;
    int fps = 300;
    QStringList targets;
    for (int i = 1; i < argc; ++i) {
        const QString arg = QString::fromLocal8Bit(argv[i]);
        if (arg == "--seconds" && i + 1 < argc)
            seconds = QString::fromLocal8Bit(argv[++i]).toDouble();
        else if (arg == "--fps" && i + 1 < argc)
            fps = QString::fromLocal8Bit(argv[++i]).toInt();
        else
            targets << arg;
    }
    if (targets.isEmpty())
        targets = {"/dev/shm", "/var/tmp"};
    QynRecorder::beforeWrite = stallHook;
    const std::size_t second = FrameBytes * static_cast<std::size_t>(fps);  // one second of frames
    const Run runs[] = {
        {"bmp", QynRecordSettings::Format::Bmp, false, 2 * second},
        {"bmp, 1 s stall", QynRecordSettings::Format::Bmp, true, 2 * second},
        {"bmp, 1 s stall, 1/3 s ring", QynRecordSettings::Format::Bmp, true, second / 3},
        {"tif-pages", QynRecordSettings::Format::TiffPages, false, 2 * second},
        {"tif-pages, 1 s stall", QynRecordSettings::Format::TiffPages, true, 2 * second},
        {"png", QynRecordSettings::Format::Png, false, 2 * second},
    };
    std::printf("%d x %d Mono8 at %d frames/s for %.0f s; 2 writers (tif-pages: 1)\n\n", Side, Side, fps, seconds);
    std::printf("| folder | run | memory | offered | recorded | lost | index exact | push us median / 99 %% / worst | CPU of a core | MB/s |\n");
    std::printf("|---|---|---|---|---|---|---|---|---|---|\n");
    for (const QString& target : targets)
        for (const Run& run : runs)
            paced(target, run, seconds, fps);
    std::printf("\nCapacity, 600 frames in memory drained (frames/s):\n\n");
    std::fflush(stdout);
    std::printf("| folder | bmp (atomic, synced) | tif-pages | plain BMP files, no sync |\n|---|---|---|---|\n");
    for (const QString& target : targets)
        std::printf("| %s | %.0f | %.0f | %.0f |\n", qPrintable(target),
                    capacity(target, QynRecordSettings::Format::Bmp, 600),
                    capacity(target, QynRecordSettings::Format::TiffPages, 600), plainFiles(target, 600));
}
