#include "ConvertCommand.h"
#include "QynAtomicFile.h"
#include "QynNativePath.h"
#include "RecordCommand.h"
#include "StatsCommand.h"

#include <QCoreApplication>
#include <QTextStream>

#include <unistd.h>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QynAtomicFile::installSignalHandling();
    // The arguments as the system gave them: a file name need not be valid UTF-8.
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << qynPathFromNative(QByteArray(argv[i]));
    QTextStream out(stdout);
    QTextStream err(stderr);
    const bool terminal = ::isatty(STDERR_FILENO) == 1;
    if (!args.isEmpty() && args.front() == "record")
        return RecordCommand::run(args.mid(1), out, err, terminal);
    if (!args.isEmpty() && args.front() == "stats")
        return StatsCommand::run(args.mid(1), out, err);
    return ConvertCommand::run(args, out, err, nullptr, terminal);
}
