#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// qynsample's command line. --help and --version are answered from the raw arguments,
// before Qt needs a display; what Qt leaves once it has taken its own options (-platform,
// -style, ...) are the image files start-up loads into slots 1 to 3.
class SampleCommandLine {
public:
    static constexpr int MaxFiles = 3;  // slots 1 to 3
    static constexpr int UsageExit = 2;

    // The text that -h, --help or --version asks for on standard output; empty for a run.
    static std::optional<QString> information(int argc, const char* const* argv);

    struct Parsed {
        QStringList files;  // names as the system gave their bytes (qynPathFromNative)
        QString problem;    // why the command line is wrong; empty when it is right
    };
    static Parsed parse(int argc, const char* const* argv);

    static QString usage();
};
