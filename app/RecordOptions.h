#pragma once

#include "QynRecordSettings.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

// The command line of `qynconvert record`, parsed:
//   record CONFIG OUT_DIR [--frames N | --seconds S] [--format bmp|png|tif|tif-pages]
//          [--memory BYTES] [--writers N] [--quiet]
struct RecordOptions {
    QString config;  // the video configuration file
    QynRecordSettings settings;
    std::optional<double> seconds;  // with neither this nor a frame limit: until a signal
    bool quiet = false;

    // Fills the options from the arguments after "record"; returns the reason the command
    // line is wrong, or an empty string.
    QString parse(const QStringList& args);
    // "512M", "2G", "1048576": bytes, with an optional binary suffix K, M or G.
    static std::optional<std::uint64_t> bytes(const QString& text);
};
