#pragma once

#include <QString>

#include <cstdint>

// The counts of a batch and how they read: a one-line progress bar for a terminal, and
// the summary at the end.
struct BatchProgress {
    std::int64_t total = 0;
    std::int64_t converted = 0;
    std::int64_t failed = 0;
    std::int64_t skipped = 0;
    std::int64_t inputBytes = 0;  // of the converted files' sources
    double seconds = 0;

    std::int64_t finished() const { return converted + failed + skipped; }
    // "[=====>    ]  512/1000 files  310.2 images/s  45.1 MB/s  0:02 left", at most 79 characters.
    QString bar() const;
    // "998 converted, 1 failed, 1 skipped of 1000 in 3.21 s (310.9 images/s, 45.1 MB/s)";
    // a stopped batch also says by which signal and how many files were not started.
    QString summary(int stopSignal) const;

private:
    double imagesPerSecond() const;
    double megabytesPerSecond() const;
};
