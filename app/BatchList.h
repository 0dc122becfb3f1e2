#pragma once

#include "ConvertOptions.h"

#include <QString>
#include <QStringList>

#include <vector>

class QIODevice;

// The files of a batch: each item's sources and outputs. Inputs are the regular files
// of the first input folder (names beginning with '.' left out), or the paths listed on
// standard input when that folder is "-". An output keeps its input's name, with the
// extension of --format when one is given, in each output folder; compose takes the
// green and blue sources of the same name from their folders.
class BatchList {
public:
    struct Item {
        QStringList sources;
        QStringList outputs;
    };

    // Reads the folders or the list. A problem that stops the whole batch (a folder that
    // cannot be read) is returned with its exit code; a problem with one name (no file
    // of that name in another folder, two inputs for one output) goes to `unmatched`,
    // one message a name, and the batch goes on without it.
    struct Result {
        std::vector<Item> items;
        QStringList unmatched;
        int exit = 0;
        QString message;
    };
    static Result read(const ConvertOptions& options, QIODevice* in);

    // The names of the regular files in a folder, as bytes made QStrings, sorted;
    // returns false and the reason when the folder cannot be read.
    static bool folderNames(const QString& folder, QStringList& names, QString& why);
    // The output path of an input in an output folder.
    static QString outputPath(const QString& folder, const QString& input, const QString& format);
};
