#include "QynDescriptorDevice.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

QynDescriptorDevice::QynDescriptorDevice(int fd) : fd_(fd)
{
    open(QIODevice::WriteOnly | QIODevice::Unbuffered);
}

qint64 QynDescriptorDevice::writeData(const char* data, qint64 size)
{
    qint64 written = 0;
    while (written < size) {
        const ssize_t n = ::write(fd_, data + written, static_cast<std::size_t>(size - written));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            failed_ = true;
            setErrorString(QString::fromLocal8Bit(std::strerror(n < 0 ? errno : ENOSPC)));
            return -1;
        }
        written += n;
    }
    return written;
}
