#include "BatchRun.h"

#include "BatchFootprint.h"
#include "BatchStop.h"
#include "ConvertExit.h"
#include "QynNativePath.h"

#include <QTextStream>

#include <algorithm>
#include <malloc.h>
#include <sys/stat.h>
#include <exception>
#include <thread>

namespace {

bool isRegularFile(const QString& path)
{
    struct stat st {};
    return ::stat(qynPathToNative(path).constData(), &st) == 0 && S_ISREG(st.st_mode);
}

bool stopRequested()
{
    return BatchStop::requested() != 0;
}

// File after file needs buffers of the same few sizes. By default the C library maps
// every buffer over 128 KiB anew and returns it at free, and the kernel clears a fresh
// 2 MiB page for each: a third of the time of a small file went there. Buffers under
// 64 MiB now come from the heap and freed memory stays there for the next file (up to
// 256 MiB); images larger than that are still mapped and returned at once.
void reuseFreedBuffers()
{
    mallopt(M_MMAP_THRESHOLD, 64 << 20);
    mallopt(M_TRIM_THRESHOLD, 256 << 20);
}

}  // namespace

BatchRun::BatchRun(const ConvertOptions& options, QTextStream& err, bool terminal)
    : options_(options), err_(err), bar_(terminal && !options.quiet), budget_(options.memoryMiB << 20)
{
}

int BatchRun::run(QIODevice* in)
{
    BatchList::Result list = BatchList::read(options_, in);
    if (list.exit != 0) {
        err_ << "qynconvert: " << list.message << "\n";
        err_.flush();
        return list.exit;
    }
    items_ = std::move(list.items);
    for (const QString& problem : list.unmatched)
        say("qynconvert: " + problem);
    progress_.total = static_cast<std::int64_t>(items_.size() + static_cast<std::size_t>(list.unmatched.size()));
    progress_.failed = list.unmatched.size();

    reuseFreedBuffers();
    const BatchStop stop;  // from here a signal lets the files in flight finish
    start_ = std::chrono::steady_clock::now();
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    // More workers than this only wait: for the disk, for the budget or for a core.
    const std::size_t most = std::min<std::size_t>(std::size_t{JobsPerCore} * cores, MaxJobs);
    if (static_cast<std::size_t>(options_.jobs) > most)
        say(QStringLiteral("qynconvert: --jobs %1 is more than the %2 files at once this machine can use; using %2")
                .arg(options_.jobs)
                .arg(most));
    const std::size_t jobs = std::clamp<std::size_t>(options_.jobs > 0 ? static_cast<std::size_t>(options_.jobs) : cores,
                                                     1, std::max<std::size_t>(std::min(items_.size(), most), 1));
    std::vector<std::thread> workers;
    working_ = static_cast<int>(jobs);
    // One file at a time each: a conversion runs on its worker's thread alone unless
    // there is only one worker.
    const int conversionThreads = jobs == 1 ? options_.threads : 1;
    for (std::size_t i = 0; i < jobs; ++i) {
        try {
            workers.emplace_back([this, conversionThreads] { work(conversionThreads); });
        } catch (const std::exception& error) {
            // Out of threads or memory: the workers that started do the batch.
            say(QStringLiteral("qynconvert: only %1 of %2 workers could start (%3)")
                    .arg(i)
                    .arg(jobs)
                    .arg(QString::fromLocal8Bit(error.what())));
            const std::lock_guard lock(mutex_);
            working_ -= static_cast<int>(jobs - i);
            break;
        }
    }
    if (workers.empty()) {
        working_ = 1;
        work(options_.threads);  // on this thread, as a single worker
    }
    {
        std::unique_lock lock(mutex_);
        while (working_ > 0) {
            workersDone_.wait_for(lock, std::chrono::milliseconds(200));
            if (bar_) {
                progress_.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
                err_ << '\r' << progress_.bar() << "\x1b[K";
                err_.flush();
                barShown_ = true;
            }
        }
    }
    for (std::thread& worker : workers)
        worker.join();

    progress_.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    if (barShown_)
        err_ << "\r\x1b[K";
    const int signal = BatchStop::requested();
    if (!options_.quiet)
        err_ << "qynconvert: " << progress_.summary(signal) << "\n";
    err_.flush();
    return signal != 0                                                  ? 128 + signal
        : progress_.failed > 0 || progress_.finished() < progress_.total ? ExitSomeFilesFailed
                                                                         : ExitOk;
}

void BatchRun::work(int conversionThreads)
{
    try {
        ConvertJob job(options_, conversionThreads);
        while (!stopRequested()) {
            const std::size_t index = next_++;
            if (index >= items_.size())
                break;
            convert(job, items_[index]);
        }
    } catch (const std::exception& error) {
        // No memory for a worker's own components: the others go on; files nobody
        // converts count in the exit code.
        try {
            say(QStringLiteral("qynconvert: a worker stopped: %1").arg(QString::fromLocal8Bit(error.what())));
        } catch (...) {  // not even memory to say so
        }
    }
    const std::lock_guard lock(mutex_);
    --working_;
    workersDone_.notify_all();
}

void BatchRun::convert(ConvertJob& job, const BatchList::Item& item)
{
    if (!options_.overwrite && std::all_of(item.outputs.begin(), item.outputs.end(), isRegularFile)) {
        const std::lock_guard lock(mutex_);
        ++progress_.skipped;
        return;
    }
    std::int64_t inputBytes = 0;
    const std::int64_t footprint = BatchFootprint::bytes(options_, item.sources, inputBytes);
    if (!budget_.acquire(footprint, stopRequested))
        return;  // stopped while waiting: not started
    ConvertJob::Outcome outcome;
    try {
        outcome = job.run(item.sources, item.outputs);
    } catch (const std::exception& error) {  // loads and saves report this as a code
        outcome = {ExitConversionFailed, QStringLiteral("no memory for the conversion (%1)")
                                             .arg(QString::fromLocal8Bit(error.what()))};
    }
    budget_.release(footprint);
    if (!outcome) {
        // File problems name their file; the conversion's message gets the input's name.
        say("qynconvert: "
            + (outcome.exit == ExitConversionFailed ? item.sources.front() + ": " + outcome.message : outcome.message));
    }
    const std::lock_guard lock(mutex_);
    if (outcome) {
        ++progress_.converted;
        progress_.inputBytes += inputBytes;
    } else {
        ++progress_.failed;
    }
}

void BatchRun::say(const QString& line)
{
    const std::lock_guard lock(mutex_);
    if (barShown_)
        err_ << "\r\x1b[K";
    err_ << line << "\n";
    err_.flush();
}
