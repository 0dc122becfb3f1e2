#pragma once

// The memory-bandwidth bound of a pixel loop: the best of memcpy and a streaming copy
// that read and write as many bytes as the loop, split over the same threads.
#include "QynPixelBuffer.h"
#include "QynRowPool.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include <immintrin.h>

#include "BenchTiming.h"

// Copies with non-temporal stores; `bytes` a multiple of 64 and both ends 64-byte aligned.
__attribute__((target("avx2"))) inline void streamCopy(const std::uint8_t* from, std::uint8_t* to,
                                                std::size_t bytes)
{
    for (std::size_t i = 0; i < bytes; i += 64) {
        const __m256i a = _mm256_load_si256(reinterpret_cast<const __m256i*>(from + i));
        const __m256i b = _mm256_load_si256(reinterpret_cast<const __m256i*>(from + i + 32));
        _mm256_stream_si256(reinterpret_cast<__m256i*>(to + i), a);
        _mm256_stream_si256(reinterpret_cast<__m256i*>(to + i + 32), b);
    }
    _mm_sfence();
}

// The bandwidth bound: the best of memcpy and a streaming copy that reads and writes as
// many bytes as the conversion, split over the same threads.
class Bound {
public:
    explicit Bound(std::size_t copyBytes)
        : bytes_((copyBytes + 63) / 64 * 64), from_(bytes_ + 64, 1), to_(bytes_ + 64, 2)
    {
    }

    Timing time(int threads, int repetitions)
    {
        QynRowPool pool(threads);
        const std::size_t blocks = bytes_ / 64;
        const auto part = [&](bool stream) {
            return [&, stream](std::ptrdiff_t begin, std::ptrdiff_t end) {
                const std::size_t b = static_cast<std::size_t>(begin) * 64;
                const std::size_t n = static_cast<std::size_t>(end - begin) * 64;
                if (stream)
                    streamCopy(aligned(from_) + b, aligned(to_) + b, n);
                else
                    std::memcpy(aligned(to_) + b, aligned(from_) + b, n);
            };
        };
        const auto copy = part(false);
        const auto streamed = part(true);
        const auto rows = static_cast<std::ptrdiff_t>(blocks);
        const Timing a = timeIt(repetitions, [] {}, [&] { pool.forRows(rows, threads, copy); });
        const Timing b = timeIt(repetitions, [] {}, [&] { pool.forRows(rows, threads, streamed); });
        return {std::min(a.median, b.median), std::min(a.min, b.min)};
    }

private:
    static std::uint8_t* aligned(std::vector<std::uint8_t>& v)
    {
        return reinterpret_cast<std::uint8_t*>((reinterpret_cast<std::uintptr_t>(v.data()) + 63)
                                               & ~std::uintptr_t{63});
    }

    std::size_t bytes_;
    std::vector<std::uint8_t> from_, to_;
};

// The floor of anything that looks at every pixel of a slot: rows [begin, end) of px read
// once, in two words at a time, summed into sums (one a row, made before the timing).
inline void readRowsOnce(const QynPixelBuffer& px, std::ptrdiff_t begin, std::ptrdiff_t end,
                         std::vector<std::uint64_t>& sums)
{
    const std::ptrdiff_t words = px.stride() / 8;
    for (std::ptrdiff_t y = begin; y < end; ++y) {
        const std::uint8_t* row = px.row(static_cast<int>(y));
        std::uint64_t a = 0, b = 0;
        for (std::ptrdiff_t i = 0; i + 1 < words; i += 2) {
            std::uint64_t w[2];
            std::memcpy(w, row + 8 * i, sizeof w);
            a += w[0];
            b += w[1];
        }
        sums[static_cast<std::size_t>(y)] += a + b;
    }
}
