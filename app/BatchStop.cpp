#include "BatchStop.h"

#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr std::array<int, 3> Signals{SIGINT, SIGTERM, SIGHUP};
std::atomic<int> stopSignal{0};
std::array<struct sigaction, Signals.size()> previous{};
// Read and write ends of the pipe that wakes an event loop.
std::atomic<int> wakeRead{-1};
std::atomic<int> wakeWrite{-1};

void askToStop(int signal)
{
    int none = 0;
    if (stopSignal.compare_exchange_strong(none, signal)) {
        // Only async-signal-safe calls here: one byte into a non-blocking pipe.
        const int savedErrno = errno;
        if (const int fd = wakeWrite.load(); fd >= 0) {
            const char byte = 1;
            [[maybe_unused]] const ssize_t written = ::write(fd, &byte, 1);
        }
        errno = savedErrno;
        return;
    }
    // Asked twice: whatever was there before decides, as if the stop had not been.
    for (std::size_t i = 0; i < Signals.size(); ++i) {
        if (Signals[i] != signal)
            continue;
        ::sigaction(signal, &previous[i], nullptr);
        ::raise(signal);
    }
}

}  // namespace

static_assert(std::atomic<int>::is_always_lock_free);

BatchStop::BatchStop()
{
    stopSignal.store(0);
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) == 0) {
        wakeRead.store(ends[0]);
        wakeWrite.store(ends[1]);
    }
    for (std::size_t i = 0; i < Signals.size(); ++i) {
        ::sigaction(Signals[i], nullptr, &previous[i]);
        if (previous[i].sa_handler == SIG_IGN)
            continue;  // ignored by whoever started us (nohup, a background job): leave it so
        struct sigaction handler {};
        handler.sa_handler = askToStop;
        handler.sa_flags = SA_RESTART;  // reads and writes in flight go on
        sigemptyset(&handler.sa_mask);
        ::sigaction(Signals[i], &handler, nullptr);
    }
}

BatchStop::~BatchStop()
{
    for (std::size_t i = 0; i < Signals.size(); ++i)
        ::sigaction(Signals[i], &previous[i], nullptr);
    for (std::atomic<int>* end : {&wakeWrite, &wakeRead})
        if (const int fd = end->exchange(-1); fd >= 0)
            ::close(fd);
}

int BatchStop::requested()
{
    return stopSignal.load();
}

int BatchStop::wakeHandle()
{
    return wakeRead.load();
}
