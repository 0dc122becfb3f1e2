#pragma once

#include "ConvertExit.h"

#include <QStringList>

class QIODevice;
class QTextStream;

// The command-line converter: loads the sources through the file component, runs one
// conversion of the change component (timed alone), and saves the results; or, with
// --batch, converts every file of a folder or a list (BatchRun).
//
//   compose RED GREEN BLUE OUT
//   decompose IN RED GREEN BLUE
//   gray IN OUT [--weights R,G,B]   (thousandths; default 299,587,144)
//   color IN OUT                    (yellow-to-blue table)
//   options: --repeat N  --threads N (0 = all cores)
//   -h, --help, --version: usage or version on `out`, exit 0
class ConvertCommand {
public:
    static constexpr int MaxRepeat = 1000000;  // every time is kept for the median
    enum Exit { Ok = ExitOk, ConversionFailed = ExitConversionFailed, Usage = ExitUsage, ReadFailed = ExitReadFailed,
                WriteFailed = ExitWriteFailed, SomeFilesFailed = ExitSomeFilesFailed };

    // Runs the arguments that follow the program name; returns the exit code. A batch
    // reads its list from `in` (standard input when null) and draws a progress bar on
    // `err` when `errIsTerminal`.
    static int run(const QStringList& args, QTextStream& out, QTextStream& err, QIODevice* in = nullptr,
                   bool errIsTerminal = false);
    static QString usage();
    static QString version();
};
