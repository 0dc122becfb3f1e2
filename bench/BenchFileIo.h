#pragma once

// Plain reads and writes of a file's bytes, the floors the file benchmarks compare with.
#include <QByteArray>

#include <cstddef>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

// Reads the first `size` bytes of the file at path into data, on `threads` threads that
// each read their share of the bytes.
inline void plainReadInto(const QByteArray& path, char* data, std::size_t size, int threads = 1)
{
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return;
    const auto readPart = [&](std::size_t begin, std::size_t end) {
        while (begin < end) {
            const ssize_t n = ::pread(fd, data + begin, end - begin, static_cast<off_t>(begin));
            if (n <= 0)
                break;
            begin += static_cast<std::size_t>(n);
        }
    };
    std::vector<std::thread> others;
    const std::size_t share = size / static_cast<std::size_t>(threads);
    for (int t = 1; t < threads; ++t)
        others.emplace_back(readPart, share * static_cast<std::size_t>(t),
                            t + 1 == threads ? size : share * static_cast<std::size_t>(t + 1));
    readPart(0, threads > 1 ? share : size);
    for (std::thread& other : others)
        other.join();
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
