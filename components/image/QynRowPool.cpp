#include "QynRowPool.h"

#include <algorithm>

QynRowPool::QynRowPool(int threads)
{
    const int helpers = std::max(threads, 1) - 1;
    workers_.reserve(static_cast<std::size_t>(helpers));
    try {
        for (int part = 1; part <= helpers; ++part)
            workers_.emplace_back([this, part] { workerLoop(part); });
    } catch (...) {
        // The system refused a thread: the ones started must end before the vector goes,
        // or their destructors would end the program.
        stopWorkers();
        throw;
    }
}

int QynRowPool::partsFor(std::size_t bytesMoved, int threads)
{
    return static_cast<int>(
        std::clamp<std::size_t>(bytesMoved / MinBytesPerThread, 1, static_cast<std::size_t>(std::max(threads, 1))));
}

int QynRowPool::coreCount()
{
    return std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
}

QynRowPool::~QynRowPool()
{
    stopWorkers();
}

void QynRowPool::stopWorkers()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    for (std::thread& worker : workers_)
        worker.join();
}

void QynRowPool::runPart(int part)
{
    const std::ptrdiff_t begin = rows_ * part / parts_;
    const std::ptrdiff_t end = rows_ * (part + 1) / parts_;
    if (begin < end)
        (*work_)(begin, end);
}

void QynRowPool::forRows(std::ptrdiff_t rows, int parts, const Work& work)
{
    parts = std::clamp(parts, 1, threads());
    if (parts == 1 || rows < 2) {
        if (rows > 0)
            work(0, rows);
        return;
    }
    {
        std::lock_guard lock(mutex_);
        work_ = &work;
        rows_ = rows;
        parts_ = parts;
        pending_ = parts - 1;
        ++generation_;
    }
    wake_.notify_all();
    runPart(0);
    std::unique_lock lock(mutex_);
    finished_.wait(lock, [this] { return pending_ == 0; });
    work_ = nullptr;
}

void QynRowPool::workerLoop(int part)
{
    std::uint64_t seen = 0;
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [&] { return stopping_ || generation_ != seen; });
        if (stopping_)
            return;
        seen = generation_;
        if (part >= parts_)
            continue;  // this job needs fewer threads
        lock.unlock();
        runPart(part);
        lock.lock();
        if (--pending_ == 0)
            finished_.notify_one();
    }
}
