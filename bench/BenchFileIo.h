#pragma once

// Plain reads and writes of a file's bytes, the floors the file benchmarks compare with.
#include <QByteArray>

#include <cstddef>

#include <fcntl.h>
#include <unistd.h>

// Reads the first `size` bytes of the file at path into data.
inline void plainReadInto(const QByteArray& path, char* data, std::size_t size)
{
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    std::size_t done = 0;
    while (fd >= 0 && done < size) {
        const ssize_t n = ::pread(fd, data + done, size - done, static_cast<off_t>(done));
        if (n <= 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    if (fd >= 0)
        ::close(fd);
}

// Writes data over the file at path, synced when asked.
inline void plainWrite(const QByteArray& path, const char* data, std::size_t size, bool sync)
{
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    std::size_t done = 0;
    while (fd >= 0 && done < size) {
        const ssize_t n = ::write(fd, data + done, size - done);
        if (n <= 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    if (fd >= 0) {
        if (sync)
            ::fsync(fd);
        ::close(fd);
    }
}
