#pragma once

#include "BatchList.h"
#include "BatchProgress.h"
#include "ConvertJob.h"
#include "ConvertOptions.h"
#include "MemoryBudget.h"

#include <QString>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

class QIODevice;
class QTextStream;

// qynconvert's batch mode: every file of the list (BatchList) converted as the
// single-file mode converts it, by --jobs worker threads that each load, convert and
// save one file at a time with their own components, within a budget of bytes in
// flight (MemoryBudget). Outputs already there are skipped unless --overwrite. A file
// that fails is reported with its name, message and code, and the batch goes on. A
// signal stops it gracefully (BatchStop). On a terminal a progress bar is drawn on
// `err`; the summary comes last unless --quiet.
class BatchRun {
public:
    BatchRun(const ConvertOptions& options, QTextStream& err, bool terminal);
    // Workers at most: this many a core, and never more than MaxJobs.
    static constexpr int JobsPerCore = 8;
    static constexpr int MaxJobs = 256;

    // Returns the exit code: 0 when every file was converted or skipped,
    // ExitSomeFilesFailed when some failed, 128 + the signal when one stopped the batch.
    int run(QIODevice* in);

private:
    void work(int conversionThreads);
    void convert(ConvertJob& job, const BatchList::Item& item);
    // A line on err, the progress bar cleared before and drawn again after it.
    void say(const QString& line);

    const ConvertOptions& options_;
    QTextStream& err_;
    const bool bar_;
    std::vector<BatchList::Item> items_;
    std::atomic<std::size_t> next_{0};
    MemoryBudget budget_;
    std::chrono::steady_clock::time_point start_;

    std::mutex mutex_;  // guards what follows, and err_
    std::condition_variable workersDone_;
    int working_ = 0;
    BatchProgress progress_;
    bool barShown_ = false;
};
