#pragma once

#include <QStringList>

class QTextStream;

// The command-line converter: loads the sources through the file component, runs one
// conversion of the change component (timed alone), and saves the results.
//
//   compose RED GREEN BLUE OUT
//   decompose IN RED GREEN BLUE
//   gray IN OUT [--weights R,G,B]   (thousandths; default 299,587,144)
//   color IN OUT                    (yellow-to-blue table)
//   options: --repeat N  --threads N (0 = all cores)
class ConvertCommand {
public:
    static constexpr int MaxRepeat = 1000000;  // every time is kept for the median
    enum Exit { Ok = 0, ConversionFailed = 1, Usage = 2, ReadFailed = 3, WriteFailed = 4 };

    // Runs the arguments that follow the program name; returns the exit code.
    static int run(const QStringList& args, QTextStream& out, QTextStream& err);
    static QString usage();
};
