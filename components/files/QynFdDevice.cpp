#include "QynFdDevice.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

QynFdDevice::QynFdDevice(int fd) : fd_(fd)
{
    open(QIODevice::WriteOnly | QIODevice::Unbuffered);
}

qint64 QynFdDevice::writeData(const char* data, qint64 size)
{
    qint64 done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd_, data + done, static_cast<std::size_t>(size - done));
        if (n > 0) {
            done += n;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        const int error = n == 0 ? ENOSPC : errno;
        failed_ = true;
        setErrorString(reason(error));
        return -1;
    }
    return done;
}

QString QynFdDevice::reason(int error)
{
    if (error == EFBIG)
        return QStringLiteral("the file would pass the file size limit");
    if (error == ENOSPC)
        return QStringLiteral("the disk is full");
    return QString::fromLocal8Bit(std::strerror(error));
}
