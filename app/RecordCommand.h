#pragma once

#include <QStringList>

class QTextStream;

// `qynconvert record`: every frame of the camera a video configuration names, into
// numbered files or a multi-page TIFF with the index frames.csv (QynRecorder), until a
// number of frames, a time or a signal. Progress on a terminal, the summary at the end.
// Exit codes: 0 recorded with nothing lost, 2 usage, 3 the configuration or camera failed
// (what was recorded is kept), 4 a file could not be written (what is complete is kept),
// 5 recorded with frames lost (the index says which), 128 + N stopped by signal N (the
// frames in memory written first).
class RecordCommand {
public:
    // Runs the arguments after "record"; returns the exit code.
    static int run(const QStringList& args, QTextStream& out, QTextStream& err, bool errIsTerminal = false);
    static QString usage();
};
