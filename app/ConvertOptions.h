#pragma once

#include "ConversionRecipe.h"

#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>

// The command line of qynconvert, parsed.
struct ConvertOptions {
    static constexpr int MaxRepeat = 1000000;  // every time is kept for the median

    const ConversionRecipe* recipe = nullptr;  // the command: compose, decompose, gray or color
    QStringList files;  // files, or folders (and "-") with --batch
    int repeat = 1;
    int threads = 0;
    std::array<int, 3> weights{299, 587, 144};
    // Batch mode.
    bool batch = false;
    bool overwrite = false;
    bool quiet = false;
    bool nullSeparated = false;  // a list on standard input separated by NUL bytes
    int jobs = 0;                // 0 = one per core
    QString format;              // the outputs' extension; empty keeps the input's name
    std::int64_t memoryMiB = 2048;

    bool compose() const { return recipe->kind == ConversionKind::Compose; }
    bool decompose() const { return recipe->kind == ConversionKind::Decompose; }
    int sourceCount() const { return recipe->sources; }
    int outputCount() const { return recipe->outputs; }

    // Fills the options from the arguments after the program name; returns the reason
    // the command line is wrong, or an empty string.
    QString parse(const QStringList& args);
};
