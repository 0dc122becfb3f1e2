#include "BatchStop.h"

#include <array>
#include <atomic>
#include <csignal>

namespace {

constexpr std::array<int, 3> Signals{SIGINT, SIGTERM, SIGHUP};
std::atomic<int> stopSignal{0};
std::array<struct sigaction, Signals.size()> previous{};

void askToStop(int signal)
{
    int none = 0;
    if (stopSignal.compare_exchange_strong(none, signal))
        return;
    // Asked twice: whatever was there before decides, as if the batch had not been.
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
}

int BatchStop::requested()
{
    return stopSignal.load();
}
