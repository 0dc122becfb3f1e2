#pragma once

#include "QynRecordStatus.h"

#include <QString>

#include <cstdint>
#include <optional>

// How a recording reads on a terminal: a one-line progress bar while it runs, and the
// summary at the end.
struct RecordProgress {
    QynRecordStatus status;
    std::optional<std::uint64_t> frameLimit;
    std::optional<double> secondsLimit;

    // "[=====>     ]  1234/9000 frames  0 lost  ring 3%  78.6 MB/s  0:25 left", at most 79
    // characters; without a limit the bar is left out.
    QString bar() const;
    // "9000 frames recorded, 0 lost in 30.01 s (299.9 frames/s, 78.6 MB/s)"; a recording
    // stopped by a signal says by which.
    QString summary(int stopSignal) const;
};
