#pragma once

#include <cstddef>
#include <cstdint>

// What a recording has done so far, as one consistent-enough look from any thread.
struct QynRecordStatus {
    std::uint64_t taken = 0;     // frames taken into memory
    std::uint64_t recorded = 0;  // frames whose files are complete and in the index
    std::uint64_t lost = 0;      // frames lost: by the source, the memory being full, or unwritten
    std::uint64_t lostFull = 0;  // of them, because the memory was full
    std::size_t ringBytes = 0;   // frames in memory waiting or being written
    std::size_t ringBudget = 0;
    std::uint64_t bytesWritten = 0;  // pixel bytes of the frames recorded
    double seconds = 0;              // since the recording started
    bool limitReached = false;       // the frame limit is taken: stop() ends it
    bool failed = false;             // writing failed: stop() ends it, failure() says why

    double ringFill() const { return ringBudget > 0 ? static_cast<double>(ringBytes) / static_cast<double>(ringBudget) : 0; }
    double bytesPerSecond() const { return seconds > 0 ? static_cast<double>(bytesWritten) / seconds : 0; }
};
