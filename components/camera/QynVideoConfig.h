#pragma once

#include "QynFileResult.h"
#include "QynPixelBuffer.h"

#include <QString>

#include <string_view>

// One video configuration file: the [video] section of an .ini file read with inih.
// docs/cameras.md lists every key.
struct QynVideoConfig {
    QString source;  // a GStreamer source description, e.g. "v4l2src device=/dev/video0"
    int width = 0;   // 0 with height 0: the frames keep the size the source delivers
    int height = 0;
    QynPixelFormat format = QynPixelFormat::Gray8;
    int timeoutMs = DefaultTimeoutMs;
    int warmupFrames = 0;

    // A grabbed slot must be one the file access can save and load back.
    static constexpr int MaxSide = QynFileResult::MaxSide;
    static constexpr int DefaultTimeoutMs = 3000;
    static constexpr int MaxTimeoutMs = 600000;
    static constexpr int MaxWarmupFrames = 1000;
    static constexpr int MaxLineLength = 190;      // inih cuts longer lines
    static constexpr qint64 MaxFileBytes = 65536;  // a configuration is a few lines

    bool nativeSize() const { return width == 0 && height == 0; }
    // The caps the capture ends in: "video/x-raw,format=GRAY8,width=640,height=480", or
    // without the size for the source's own.
    QString capsText() const;
};

// What reading a configuration gave: the configuration, or why there is none.
struct QynVideoConfigResult {
    enum class Problem { None, File, Content };
    Problem problem = Problem::None;
    QString message;  // for the log; empty when there is no problem
    QynVideoConfig config;
    bool ok() const { return problem == Problem::None; }
};

namespace qyn {

// Reads the file at path; Problem::File when it is missing or unreadable.
QynVideoConfigResult readVideoConfig(const QString& path);
// Parses the text of a configuration; Problem::Content for anything malformed.
QynVideoConfigResult parseVideoConfig(std::string_view text);

}  // namespace qyn
