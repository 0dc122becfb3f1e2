#pragma once

#include "ConvertOptions.h"
#include "QynChangeImage.h"
#include "QynImage.h"
#include "QynPerformanceCounter.h"

#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>

// One conversion of files, as qynconvert runs it: the outputs checked, the sources
// loaded, the conversion called through the change component (timed alone), and the
// results saved all or none. A batch keeps one job per worker thread.
class ConvertJob {
public:
    // How a step ended: exit is the program's exit code (ConvertExit; 0 = done), message
    // what it says.
    struct Outcome {
        int exit = 0;
        QString message;
        explicit operator bool() const { return exit == 0; }
    };
    // threads: the conversion's own threads, 0 = one per core.
    ConvertJob(const ConvertOptions& options, int threads);

    // Whether every output can take a file, before anything is read.
    static Outcome checkOutputs(const QStringList& outputs);
    Outcome load(const QStringList& sources);
    // The time of the conversion call in milliseconds goes to `elapsed`.
    Outcome convert(double& elapsed);
    Outcome save(const QStringList& outputs);
    // check, load, convert and save; the slots are emptied afterwards.
    Outcome run(const QStringList& sources, const QStringList& outputs);
    void clear();

private:
    const ConvertOptions& options_;
    std::array<QynImage, 4> images_;  // as the program's slots: sources first
    QynChangeImage change_;
    QynPerformanceCounter counter_;
    std::array<std::int32_t, 256> table_{};
};
