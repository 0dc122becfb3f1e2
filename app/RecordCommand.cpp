#include "RecordCommand.h"

#include "BatchStop.h"
#include "ConvertExit.h"
#include "QynFrameTap.h"
#include "QynRecorder.h"
#include "QynVideoResult.h"
#include "QynVideoConfig.h"
#include "RecordOptions.h"
#include "RecordProgress.h"

#include <QTextStream>

#include <chrono>
#include <thread>

namespace {

// The camera's frame as the recording takes it.
QynRecordFrame recordFrame(const QynFrameTap::Frame& frame)
{
    return {frame.data, frame.stride, frame.width, frame.height, frame.format,
            frame.number, frame.timestampNs, frame.lostBefore};
}

constexpr std::chrono::milliseconds Poll{20};
constexpr std::chrono::milliseconds BarEvery{200};

}  // namespace

QString RecordCommand::usage()
{
    return QStringLiteral(
        "usage: qynconvert record CONFIG OUT_DIR [--frames N | --seconds S] [options]\n"
        "       every frame of the camera CONFIG names into OUT_DIR, with the index frames.csv;\n"
        "       without --frames or --seconds until Ctrl-C\n"
        "options: --format F      bmp (default), png, tif: numbered files; tif-pages: one multi-page TIFF\n"
        "         --memory BYTES  frames held in memory while the disk is busy (K, M, G suffixes;\n"
        "                         default a quarter of the available memory)\n"
        "         --writers N     files written at once (default 2)\n"
        "         --quiet         no progress bar and no summary; failures are still reported\n"
        "exit: 0 done, nothing lost, 2 usage, 3 camera failed, 4 write failed (disk full),\n"
        "      5 frames lost (frames.csv says which), 128+N stopped by signal N\n");
}

int RecordCommand::run(const QStringList& args, QTextStream& out, QTextStream& err, bool errIsTerminal)
{
    if (args.contains(QStringLiteral("--help"))) {
        out << usage();
        out.flush();
        return ExitOk;
    }
    RecordOptions options;
    if (const QString problem = options.parse(args); !problem.isEmpty()) {
        err << "qynconvert: " << problem << "\n" << usage();
        err.flush();
        return ExitUsage;
    }
    const QynVideoConfigResult config = qyn::readVideoConfig(options.config);
    if (!config.ok()) {
        err << "qynconvert: cannot use " << options.config << ": " << config.message << "\n";
        err.flush();
        return ExitReadFailed;
    }
    QynRecorder recorder(options.settings);
    QynFrameTap::Outcome opened;
    // Declared after the recorder, so it stops delivering before the recorder goes; frames
    // that come before start() or after stop() are not taken.
    std::unique_ptr<QynFrameTap> tap = QynFrameTap::open(
        config.config, [&recorder](const QynFrameTap::Frame& frame) { recorder.push(recordFrame(frame)); }, opened);
    if (!tap) {
        err << "qynconvert: the camera of " << options.config << " does not open: " << opened.text << " ("
            << opened.code << ")\n";
        err.flush();
        return ExitReadFailed;
    }
    if (const QString problem = recorder.start(); !problem.isEmpty()) {
        err << "qynconvert: " << problem << "\n";
        err.flush();
        return ExitWriteFailed;
    }

    const BatchStop stop;  // from here a signal ends the recording after the frames in memory
    const bool bar = errIsTerminal && !options.quiet;
    RecordProgress progress{{}, options.settings.frameLimit, options.seconds};
    QynFrameTap::Outcome camera;
    auto nextBar = std::chrono::steady_clock::now();
    for (;;) {
        progress.status = recorder.status();
        if (BatchStop::requested() != 0 || progress.status.limitReached || progress.status.failed
            || (options.seconds && progress.status.seconds >= *options.seconds))
            break;
        camera = tap->state();
        if (!camera.ok())
            break;
        if (bar && std::chrono::steady_clock::now() >= nextBar) {
            err << '\r' << progress.bar() << "\x1b[K";
            err.flush();
            nextBar += BarEvery;
        }
        std::this_thread::sleep_for(Poll);
    }
    // The recording ends here; the camera may take seconds to stop (a lost GigE camera's timeouts).
    const QString failure = recorder.stop();
    progress.status = recorder.status();
    tap.reset();
    if (bar)
        err << "\r\x1b[K";
    const bool cameraFailed = !camera.ok() && camera.code != QynVideoResult::EndOfStream;
    if (!camera.ok())
        err << "qynconvert: " << (cameraFailed ? QStringLiteral("the camera failed: ") : QString()) << camera.text
            << " (" << camera.code << ")\n";
    if (!failure.isEmpty())
        err << "qynconvert: the recording stopped: " << failure << "\n";
    const int signal = BatchStop::requested();
    if (!options.quiet)
        err << "qynconvert: " << progress.summary(signal) << " into " << options.settings.folder << "\n";
    err.flush();
    if (signal != 0)
        return 128 + signal;
    if (!failure.isEmpty())
        return ExitWriteFailed;
    if (cameraFailed)
        return ExitReadFailed;
    return progress.status.lost > 0 ? ExitSomeFilesFailed : ExitOk;
}
