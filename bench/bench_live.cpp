// Live view, the program's own path from the capture's appsink to painted pixels: each
// video configuration streams for some seconds into QynLiveView, a QynDisplayEx window
// draws the newest frame at most once a screen refresh as the main window does, and the
// run reports the camera's and the displayed rate, lost frames, the latency from a
// frame's arrival to the end of its paint (median and worst), and the process's own CPU
// time (from /proc/self/stat) in per cent of one core.
//
// "lost" is what the live view counts (with aravissrc, gaps in the time stamps: it hands on
// no GigE Vision block ids, and the simulated camera's own skipped periods show there too).
// "lost (ids)" counts from the camera's own frame numbers, read from every frame the
// pipeline delivers (a frame listener beside the view, so not only the painted ones): the
// simulated GigE Vision camera's diagonal ramp at its default gain and exposure carries its
// frame id, pixel (x, 0) = (frame id + x) mod 255. Sources without that ramp show "-".
//
//   bench_live [--seconds N] CONFIG.ini [CONFIG.ini ...]
//
// Under Xvfb: xvfb-run -a -s "-screen 0 1280x1024x24" bench_live ... (the refresh rate
// Qt reports there is 60 Hz). A simulated GigE Vision camera: arv-fake-gv-camera-0.8 -i
// 127.0.0.1 -s BENCH, and, as root, setpriv --bounding-set=-net_raw --inh-caps=-net_raw.
#include "QynDisplayEx.h"
#include "QynLiveView.h"
#include "QynVideo.h"

#include <QApplication>
#include <QEventLoop>
#include <QScreen>
#include <QTimer>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <optional>
#include <sstream>
#include <vector>

namespace {

using Clock = QynLiveView::Clock;

// User plus system time of this process so far, in seconds.
double cpuSeconds()
{
    std::ifstream stat("/proc/self/stat");
    std::string line;
    std::getline(stat, line);
    std::istringstream fields(line.substr(line.rfind(')') + 2));
    std::string field;
    unsigned long long user = 0, system = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i == 14)
            user = std::stoull(field);
        if (i == 15)
            system = std::stoull(field);
    }
    return double(user + system) / double(::sysconf(_SC_CLK_TCK));
}

// Frames lost before the pipeline's sink, counted from the frame ids the simulated camera
// draws into its ramp (mod 255). A gap of 255 frames or more looks like a shorter one
// there, so each step is unwrapped with the time it took against the mean frame period.
class RampIdCounter {
public:
    explicit RampIdCounter(QynFrameListeners& listeners) : listeners_(listeners)
    {
        id_ = listeners_.add([this](const QynFrameTap::Frame& frame) { receive(frame); });
    }
    ~RampIdCounter() { listeners_.remove(id_); }
    RampIdCounter(const RampIdCounter&) = delete;
    RampIdCounter& operator=(const RampIdCounter&) = delete;

    struct Counts {
        std::uint64_t frames = 0, lost = 0, repeated = 0, unreadable = 0;
    };
    Counts counts() const
    {
        const std::lock_guard lock(mutex_);
        return counts_;
    }

private:
    static std::optional<int> rampId(const QynFrameTap::Frame& frame)
    {
        if (frame.format != QynPixelFormat::Gray8 || frame.width < 4 || frame.height < 1 || !frame.data)
            return std::nullopt;
        const int id = frame.data[0];
        for (int x = 1; x < 4; ++x)
            if (frame.data[x] != (id + x) % 255)
                return std::nullopt;
        return id;
    }

    void receive(const QynFrameTap::Frame& frame)
    {
        const double at = frame.timestampNs ? double(*frame.timestampNs) * 1e-9
                                            : std::chrono::duration<double>(Clock::now().time_since_epoch()).count();
        const std::optional<int> id = rampId(frame);
        const std::lock_guard lock(mutex_);
        ++counts_.frames;
        if (!id) {
            ++counts_.unreadable;
            last_.reset();
            return;
        }
        if (last_) {
            const double took = at - lastAt_;
            std::uint64_t step = std::uint64_t((*id - *last_ + 255) % 255);
            if (advanced_ > 0 && took > 0) {
                const double expected = took * double(advanced_) / spent_;
                const double wraps = std::round((expected - double(step)) / 255.0);
                if (wraps > 0)
                    step += std::uint64_t(wraps) * 255;
            }
            if (step == 0) {
                ++counts_.repeated;
            } else {
                counts_.lost += step - 1;
                if (step < 128 && took > 0) {  // the mean period from unambiguous steps
                    advanced_ += step;
                    spent_ += took;
                }
            }
        }
        last_ = id;
        lastAt_ = at;
    }

    QynFrameListeners& listeners_;
    QynFrameListeners::Id id_ = 0;
    mutable std::mutex mutex_;
    Counts counts_;
    std::optional<int> last_;
    double lastAt_ = 0;
    std::uint64_t advanced_ = 0;  // ids advanced over spent_ seconds
    double spent_ = 0;
};

struct Result {
    double cameraRate = 0, shownRate = 0, medianMs = 0, worstMs = 0, cpuPercent = 0;
    std::uint64_t frames = 0, lost = 0;
    std::optional<std::uint64_t> lostByIds;  // where every frame carried the ramp's id
    std::size_t drawn = 0;
};

Result run(QynVideo& video, double seconds)
{
    QynDisplayEx display;
    display.resize(800, 600);
    display.show();
    std::optional<QynLiveView::Taken> onScreen;
    std::vector<double> latencies;
    Clock::time_point lastDraw;
    QTimer next;
    next.setSingleShot(true);
    next.setTimerType(Qt::PreciseTimer);
    QynLiveView* viewPtr = nullptr;
    const double hz = display.screen() && display.screen()->refreshRate() > 1 ? display.screen()->refreshRate() : 60.0;
    const auto interval = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(1.0 / hz));
    const auto draw = [&] {
        if (auto frame = viewPtr->take()) {
            lastDraw = Clock::now();
            display.showLiveFrame(frame->pixels);
            onScreen = std::move(frame);
        }
    };
    QObject::connect(&next, &QTimer::timeout, draw);
    QObject context;
    QynLiveView view(video, [&] {
        QMetaObject::invokeMethod(&context, [&] {
            if (next.isActive())
                return;
            const auto since = Clock::now() - lastDraw;
            if (since >= interval)
                draw();
            else
                next.start(int(std::ceil(std::chrono::duration<double, std::milli>(interval - since).count())));
        }, Qt::QueuedConnection);
    });
    viewPtr = &view;
    RampIdCounter ids(video.frameListeners());
    QObject::connect(&display, &QynDisplayEx::painted, [&] {
        if (!onScreen)
            return;
        const auto now = Clock::now();
        latencies.push_back(std::chrono::duration<double, std::milli>(now - onScreen->arrived).count());
        view.drawn(*onScreen, now);
        onScreen.reset();
    });
    view.start();
    // A second to settle, then the measured time.
    const auto spend = [](int milliseconds) {  // the event loop at rest between events
        QEventLoop loop;
        QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
        loop.exec();
    };
    spend(1000);
    latencies.clear();
    const QynLiveView::Status before = view.status();
    const RampIdCounter::Counts idsBefore = ids.counts();
    const double cpuBefore = cpuSeconds();
    const auto start = Clock::now();
    spend(int(seconds * 1000));
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    const double cpu = cpuSeconds() - cpuBefore;
    const QynLiveView::Status after = view.status();
    const RampIdCounter::Counts idsAfter = ids.counts();
    view.stop();
    Result result;
    result.frames = after.frames - before.frames;
    result.lost = after.lost - before.lost;
    if (idsAfter.frames > idsBefore.frames && idsAfter.unreadable == idsBefore.unreadable)
        result.lostByIds = idsAfter.lost - idsBefore.lost;
    result.cameraRate = double(result.frames) / elapsed;
    result.drawn = latencies.size();
    result.shownRate = double(result.drawn) / elapsed;
    result.cpuPercent = 100.0 * cpu / elapsed;
    if (!latencies.empty()) {
        std::sort(latencies.begin(), latencies.end());
        result.medianMs = latencies[latencies.size() / 2];
        result.worstMs = latencies.back();
    }
    return result;
}

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    double seconds = 10;
    std::printf("%-36s %8s %8s %6s %10s %9s %9s %6s\n", "configuration", "cam fps", "shown", "lost",
                "lost (ids)", "median ms", "worst ms", "CPU %");
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--seconds" && i + 1 < argc) {
            seconds = std::atof(argv[++i]);
            continue;
        }
        QynVideo video;
        video.setConfigFilePath(QString::fromLocal8Bit(argv[i]));
        if (video.openDevice() != 0) {
            std::printf("%-36s does not open: %s\n", argv[i], qPrintable(video.lastErrorText()));
            continue;
        }
        const Result r = run(video, seconds);
        const std::string lostByIds = r.lostByIds ? std::to_string(*r.lostByIds) : "-";
        std::printf("%-36s %8.1f %8.1f %6llu %10s %9.2f %9.2f %6.1f\n", argv[i], r.cameraRate, r.shownRate,
                    static_cast<unsigned long long>(r.lost), lostByIds.c_str(), r.medianMs, r.worstMs,
                    r.cpuPercent);
    }
}
