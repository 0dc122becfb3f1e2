#include "StopSignals.h"

#include <QSocketNotifier>

#include <cerrno>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int Signals[2] = {SIGINT, SIGTERM};
volatile std::sig_atomic_t writeEnd = -1;

}  // namespace

StopSignals::StopSignals(QObject* parent) : QObject(parent)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, fds_) != 0) {
        fds_[0] = fds_[1] = -1;
        return;  // the signals keep their handlers
    }
    writeEnd = fds_[1];
    notifier_ = new QSocketNotifier(fds_[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &StopSignals::readSignal);
    for (int i = 0; i < 2; ++i) {
        struct sigaction handler {};
        handler.sa_handler = &StopSignals::handle;
        sigemptyset(&handler.sa_mask);
        handler.sa_flags = SA_RESTART;
        ::sigaction(Signals[i], &handler, &previous_[i]);
    }
}

StopSignals::~StopSignals()
{
    if (fds_[0] < 0)
        return;
    for (int i = 0; i < 2; ++i)
        ::sigaction(Signals[i], &previous_[i], nullptr);
    writeEnd = -1;
    delete notifier_;
    ::close(fds_[0]);
    ::close(fds_[1]);
}

void StopSignals::handle(int signal)
{
    // Only what a signal handler may do: one write.
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(signal);
    if (writeEnd >= 0)
        [[maybe_unused]] const auto written = ::write(writeEnd, &byte, 1);
    errno = saved;
}

void StopSignals::readSignal()
{
    unsigned char byte = 0;
    while (::read(fds_[0], &byte, 1) == 1)
        emit received(byte);
}
