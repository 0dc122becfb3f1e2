#include "ConvertCommand.h"

#include "BatchRun.h"
#include "ConvertJob.h"
#include "ConvertOptions.h"
#include "NumberText.h"
#include "ProgramVersion.h"
#include "QynChangeImage.h"

#include <QTextStream>

#include <algorithm>
#include <vector>

static_assert(ConvertCommand::MaxRepeat == ConvertOptions::MaxRepeat);

QString ConvertCommand::usage()
{
    return QStringLiteral(
        "usage: qynconvert compose RED GREEN BLUE OUT\n"
        "       qynconvert decompose IN RED GREEN BLUE\n"
        "       qynconvert gray IN OUT [--weights R,G,B]   (thousandths, default 299,587,144)\n"
        "       qynconvert color IN OUT\n"
        "       qynconvert -h|--help|--version\n"
        "options: --repeat N   run the conversion N times (at most 1000000), print min and median\n"
        "         --threads N  worker threads, 0 = all cores (default)\n"
        "batch:  qynconvert compose --batch RED_DIR GREEN_DIR BLUE_DIR OUT_DIR\n"
        "        qynconvert decompose --batch IN_DIR RED_DIR GREEN_DIR BLUE_DIR\n"
        "        qynconvert gray --batch IN_DIR OUT_DIR [--weights R,G,B]\n"
        "        qynconvert color --batch IN_DIR OUT_DIR\n"
        "        IN_DIR (RED_DIR for compose) may be '-': the paths to convert, one a line, on standard input\n"
        "options: --format EXT  outputs get this extension     --overwrite  replace outputs already there\n"
        "         --jobs N      files at once, 0 = all cores    --memory MIB images in flight (default 2048)\n"
        "         --null        the list is separated by NUL     --quiet      no progress bar, no summary\n"
        "record: qynconvert record CONFIG OUT_DIR [--frames N | --seconds S] (qynconvert record --help)\n"
        "stats:  qynconvert stats FILE [--region X,Y,W,H] (qynconvert stats --help)\n"
        "exit: 0 done, 1 conversion failed, 2 usage, 3 read failed, 4 write failed,\n"
        "      5 some files of a batch failed, 128+N a batch stopped by signal N\n");
}

QString ConvertCommand::version()
{
    return QStringLiteral("qynconvert (QynSample) " QYN_PROGRAM_VERSION "\n");
}

int ConvertCommand::run(const QStringList& args, QTextStream& out, QTextStream& err, QIODevice* in,
                        bool errIsTerminal)
{
    // As GNU tools answer them: -h in the command's place, --help or --version anywhere;
    // the first one counts.
    for (qsizetype i = 0; i < args.size(); ++i)
        if ((i == 0 && args[i] == "-h") || args[i] == "--help" || args[i] == "--version") {
            out << (args[i] == "--version" ? version() : usage());
            out.flush();
            return Ok;
        }
    ConvertOptions options;
    if (const QString problem = options.parse(args); !problem.isEmpty()) {
        err << "qynconvert: " << problem << "\n" << usage();
        err.flush();
        return Usage;
    }
    if (options.threads > QynChangeImage::MaxThreads)
        err << "qynconvert: --threads " << options.threads << " is more than the " << QynChangeImage::MaxThreads
            << " threads a conversion can use; using " << QynChangeImage::MaxThreads << "\n";
    if (options.batch)
        return BatchRun(options, err, errIsTerminal).run(in);

    const QStringList sources = options.files.mid(0, options.sourceCount());
    const QStringList outputs = options.files.mid(options.sourceCount());
    ConvertJob job(options, options.threads);
    // An output that cannot be written is found before anything is read or converted.
    ConvertJob::Outcome outcome = ConvertJob::checkOutputs(outputs);
    if (outcome)
        outcome = job.load(sources);
    std::vector<double> times;
    for (int run = 0; outcome && run < options.repeat; ++run) {
        double elapsed = 0;
        outcome = job.convert(elapsed);
        times.push_back(elapsed);
    }
    if (outcome)
        outcome = job.save(outputs);
    if (!outcome) {
        // The conversion's own message stands alone, as the program shows it.
        err << (outcome.exit == ConversionFailed ? QString() : QStringLiteral("qynconvert: ")) << outcome.message
            << "\n";
        err.flush();
        return outcome.exit;
    }

    if (times.size() == 1) {
        out << qyn::formatMilliseconds(times.front()) << "\n";
    } else {
        std::sort(times.begin(), times.end());
        const std::size_t n = times.size();
        const double median = n % 2 ? times[n / 2] : (times[n / 2 - 1] + times[n / 2]) / 2;
        out << QString::asprintf("min=%.4f median=%.4f", times.front(), median) << "\n";
    }
    out.flush();
    return Ok;
}
