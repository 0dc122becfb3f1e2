#pragma once

#include <QStringList>

class QTextStream;

// `qynconvert stats FILE [--region X,Y,W,H]`: the statistics of an image file, or of a
// rectangle of it, per channel (pixel count, mean, standard deviation, minimum, maximum,
// pixels at 0 and at 255), as tab-separated lines on `out`: the numbers the measure
// window shows and copies. Exit codes: 0 done, 2 usage (a region not inside the image
// too), 3 the file could not be read.
class StatsCommand {
public:
    // Runs the arguments after "stats"; returns the exit code.
    static int run(const QStringList& args, QTextStream& out, QTextStream& err);
    static QString usage();
};
