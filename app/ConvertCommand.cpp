#include "ConvertCommand.h"

#include "Module1.h"
#include "NumberText.h"
#include "QynCalls.h"
#include "QynChangeImage.h"
#include "QynFileAccess.h"
#include "QynImage.h"
#include "QynPerformanceCounter.h"

#include <QTextStream>

#include <algorithm>
#include <array>
#include <limits>
#include <optional>
#include <vector>

namespace {

struct Options {
    QString kind;
    QStringList files;
    int repeat = 1;
    int threads = 0;
    std::array<int, 3> weights{299, 587, 144};
};

std::optional<int> number(const QString& text, int minimum)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    return ok && value >= minimum ? std::optional<int>(value) : std::nullopt;
}

// Fills options or returns the reason the command line is wrong.
QString parse(const QStringList& args, Options& options)
{
    if (args.isEmpty())
        return QStringLiteral("no command given");
    options.kind = args.front();
    const int needed = options.kind == "compose" || options.kind == "decompose" ? 4
        : options.kind == "gray" || options.kind == "color"                   ? 2
                                                                              : 0;
    if (needed == 0)
        return QStringLiteral("unknown command '%1'").arg(options.kind);
    for (qsizetype i = 1; i < args.size(); ++i) {
        const QString& arg = args[i];
        if (!arg.startsWith("--")) {
            options.files << arg;
            continue;
        }
        if (i + 1 >= args.size())
            return QStringLiteral("%1 needs a value").arg(arg);
        const QString value = args[++i];
        if (arg == "--repeat") {
            const auto n = number(value, 1);
            if (!n || *n > ConvertCommand::MaxRepeat)
                return QStringLiteral("--repeat needs a whole number from 1 to %1").arg(ConvertCommand::MaxRepeat);
            options.repeat = *n;
        } else if (arg == "--threads") {
            const auto n = number(value, 0);
            if (!n)
                return QStringLiteral("--threads needs a whole number of at least 0");
            options.threads = *n;
        } else if (arg == "--weights" && options.kind == "gray") {
            const QStringList parts = value.split(',');
            if (parts.size() != 3)
                return QStringLiteral("--weights needs three numbers R,G,B");
            for (int c = 0; c < 3; ++c) {
                const auto n = number(parts[c].trimmed(), std::numeric_limits<int>::min());
                if (!n)
                    return QStringLiteral("--weights needs three whole numbers R,G,B");
                options.weights[static_cast<std::size_t>(c)] = *n;
            }
        } else {
            return QStringLiteral("unknown option %1").arg(arg);
        }
    }
    if (options.files.size() != needed)
        return QStringLiteral("%1 needs %2 files").arg(options.kind).arg(needed);
    return {};
}

QString fileFailure(const char* verb, const QString& path, std::int32_t code, const QString& why = {})
{
    return QStringLiteral("Cannot %1 %2: %3 (%4)")
        .arg(QLatin1String(verb), path, why.isEmpty() ? QynFileAccess::resultText(code) : why)
        .arg(code);
}

QynComponent* ref(QynImage& slot)
{
    return &slot;
}

}  // namespace

QString ConvertCommand::usage()
{
    return QStringLiteral(
        "usage: qynconvert compose RED GREEN BLUE OUT\n"
        "       qynconvert decompose IN RED GREEN BLUE\n"
        "       qynconvert gray IN OUT [--weights R,G,B]   (thousandths, default 299,587,144)\n"
        "       qynconvert color IN OUT\n"
        "options: --repeat N   run the conversion N times (at most 1000000), print min and median\n"
        "         --threads N  worker threads, 0 = all cores (default)\n");
}

int ConvertCommand::run(const QStringList& args, QTextStream& out, QTextStream& err)
{
    Options options;
    if (const QString problem = parse(args, options); !problem.isEmpty()) {
        err << "qynconvert: " << problem << "\n" << usage();
        err.flush();
        return Usage;
    }

    // Slots as the program uses them: 1..3 sources, the rest destinations.
    const bool compose = options.kind == "compose";
    const bool decompose = options.kind == "decompose";
    const QStringList outputs = compose ? options.files.mid(3) : options.files.mid(1);
    // An output that cannot be written is found before anything is read or converted.
    QString why;
    qsizetype failed = 0;
    if (const std::int32_t problem = QynFileAccess::checkSavePaths(outputs, &why, &failed)) {
        err << "qynconvert: " << fileFailure("write", outputs[failed], problem, why) << "\n";
        err.flush();
        return WriteFailed;
    }
    if (options.threads > QynChangeImage::MaxThreads)
        err << "qynconvert: --threads " << options.threads << " is more than the " << QynChangeImage::MaxThreads
            << " threads a conversion can use; using " << QynChangeImage::MaxThreads << "\n";
    const int sourceCount = compose ? 3 : 1;
    std::array<QynImage, 4> images;
    QynFileAccess files;
    std::int32_t code = 0;
    for (int i = 0; i < sourceCount; ++i) {
        const QString& path = options.files[i];
        qyn::put(files, QynFileAccess::FilePath, path);
        qyn::call(files, QynFileAccess::LoadImage, {ref(images[static_cast<std::size_t>(i)])});
        qyn::call(files, QynFileAccess::GetLastResult, {&code});
        if (code != 0) {
            err << "qynconvert: " << fileFailure("read", path, code) << "\n";
            err.flush();
            return ReadFailed;
        }
    }

    QynChangeImage change;
    change.setThreadCount(options.threads);
    QynPerformanceCounter counter;
    std::array<std::int32_t, 256> table{};
    for (std::int32_t i = 0; i < 256; ++i)
        table[static_cast<std::size_t>(i)] = (255 - i) << 16 | (255 - i) << 8 | i;
    const std::vector<int> destinations = compose ? std::vector<int>{3}
        : decompose                                ? std::vector<int>{1, 2, 3}
                                                   : std::vector<int>{1};

    std::vector<double> times;
    for (int run = 0; run < options.repeat; ++run) {
        for (int d : destinations)
            qyn::call(images[static_cast<std::size_t>(d)], QynImage::Clear);
        double elapsed = 0;
        QynStatus status;
        qyn::call(counter, QynPerformanceCounter::Start);
        if (compose || decompose) {
            status = qyn::call(change, compose ? QynChangeImage::ComposeChannels : QynChangeImage::DecomposeChannels,
                               {ref(images[0]), ref(images[1]), ref(images[2]), ref(images[3])});
        } else if (options.kind == "gray") {
            status = qyn::call(change, QynChangeImage::ColorToGray,
                               {ref(images[0]), ref(images[1]), options.weights[0] * 0.001,
                                options.weights[1] * 0.001, options.weights[2] * 0.001});
        } else {
            status = qyn::call(change, QynChangeImage::GrayToColor,
                               {ref(images[0]), ref(images[1]), std::int32_t{256},
                                std::span<const std::int32_t>(table)});
        }
        qyn::call(counter, QynPerformanceCounter::GetElapsedTime, {&elapsed});
        if (status != QynStatus::Ok) {
            code = 0;
            qyn::call(change, QynChangeImage::GetLastResult, {&code});
            err << Module1::GetResultMessage(code) << " (" << code << ")\n";
            err.flush();
            return ConversionFailed;
        }
        times.push_back(elapsed);
    }

    std::vector<const QynImage*> results;
    for (qsizetype i = 0; i < outputs.size(); ++i)
        results.push_back(&images[static_cast<std::size_t>(destinations[static_cast<std::size_t>(i)])]);
    // All or none: the three planes of decompose replace their files together.
    if (const std::int32_t problem = QynFileAccess::saveFiles(outputs, results, &why, &failed)) {
        err << "qynconvert: " << fileFailure("write", outputs[failed], problem, why) << "\n";
        err.flush();
        return WriteFailed;
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
