#pragma once

#include <QString>

#include <cstddef>
#include <cstdint>
#include <optional>

// What a recording writes, where, and with how much memory.
struct QynRecordSettings {
    enum class Format {
        Bmp,        // numbered files frame-000001.bmp, ...
        Png,        // ... .png
        Tiff,       // ... .tif
        TiffPages,  // one multi-page TIFF, frames.tif
    };

    QString folder;  // created when missing (its parent must exist); must hold no recording
    Format format = Format::Bmp;
    // Bytes of frames held in memory at most; 0 takes defaultMemoryBytes().
    std::size_t memoryBytes = 0;
    // Threads writing numbered files at once (a multi-page TIFF is written by one).
    int writers = 2;
    // The recording takes this many frames and no more, where given.
    std::optional<std::uint64_t> frameLimit;

    static constexpr int MaxWriters = 64;
    static constexpr const char* PagesFileName = "frames.tif";
    static constexpr const char* FilePrefix = "frame-";

    // A quarter of the memory the system has available now.
    static std::size_t defaultMemoryBytes();
    // "bmp", "png", "tif" (also "tiff"), "tif-pages"; nothing for another name.
    static std::optional<Format> formatNamed(const QString& name);
    static QString nameOf(Format format);
    // The file a numbered frame goes to, in the folder: frame-000042.png.
    QString framePath(std::uint64_t sequence) const;
};
