#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

// A few persistent threads that share the rows of one image. The threads wait between
// jobs, so a job costs a wake-up rather than a thread start. One caller at a time.
class QynRowPool {
public:
    using Work = std::function<void(std::ptrdiff_t begin, std::ptrdiff_t end)>;

    // `threads` share each job, the calling thread included; at least 1.
    explicit QynRowPool(int threads);
    ~QynRowPool();
    QynRowPool(const QynRowPool&) = delete;
    QynRowPool& operator=(const QynRowPool&) = delete;

    int threads() const { return static_cast<int>(workers_.size()) + 1; }

    // A second thread pays for its wake-up (some 10 to 30 microseconds) only when each
    // thread has at least this many bytes to move; below it, and for 640 x 480 images,
    // the calling thread alone is as fast.
    static constexpr std::size_t MinBytesPerThread = std::size_t{2} << 20;
    // How many parts a job moving `bytesMoved` bytes is worth: 1 to `threads`.
    static int partsFor(std::size_t bytesMoved, int threads);
    // The threads a pool should have: every core.
    static int coreCount();

    // Splits rows [0, rows) into `parts` (at most threads()) contiguous ranges of nearly
    // equal size and runs work on each, the caller taking the first; returns when all
    // are done. `work` must not throw.
    void forRows(std::ptrdiff_t rows, int parts, const Work& work);

private:
    void workerLoop(int part);
    void stopWorkers();
    void runPart(int part);

    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable finished_;
    std::vector<std::thread> workers_;
    const Work* work_ = nullptr;
    std::ptrdiff_t rows_ = 0;
    int parts_ = 0;
    int pending_ = 0;
    std::uint64_t generation_ = 0;
    bool stopping_ = false;
};
