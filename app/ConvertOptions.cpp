#include "ConvertOptions.h"

#include <limits>
#include <optional>

namespace {

std::optional<int> number(const QString& text, int minimum)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    return ok && value >= minimum ? std::optional<int>(value) : std::nullopt;
}

}  // namespace

QString ConvertOptions::parse(const QStringList& args)
{
    if (args.isEmpty())
        return QStringLiteral("no command given");
    recipe = ConversionRecipe::named(args.front());
    if (!recipe)
        return QStringLiteral("unknown command '%1'").arg(args.front());
    const QLatin1String kind(recipe->command);
    for (qsizetype i = 1; i < args.size(); ++i) {
        const QString& arg = args[i];
        if (!arg.startsWith("--")) {
            files << arg;
            continue;
        }
        if (arg == "--batch" || arg == "--overwrite" || arg == "--quiet" || arg == "--null") {
            (arg == "--batch" ? batch : arg == "--overwrite" ? overwrite : arg == "--quiet" ? quiet : nullSeparated) = true;
            continue;
        }
        if (i + 1 >= args.size())
            return QStringLiteral("%1 needs a value").arg(arg);
        const QString value = args[++i];
        if (arg == "--repeat") {
            const auto n = number(value, 1);
            if (!n || *n > MaxRepeat)
                return QStringLiteral("--repeat needs a whole number from 1 to %1").arg(MaxRepeat);
            repeat = *n;
        } else if (arg == "--threads" || arg == "--jobs") {
            const auto n = number(value, 0);
            if (!n)
                return QStringLiteral("%1 needs a whole number of at least 0").arg(arg);
            (arg == "--threads" ? threads : jobs) = *n;
        } else if (arg == "--memory") {
            const auto n = number(value, 1);
            if (!n)
                return QStringLiteral("--memory needs a whole number of MiB, at least 1");
            memoryMiB = *n;
        } else if (arg == "--format") {
            if (value.isEmpty() || value.contains('/') || value.startsWith('.'))
                return QStringLiteral("--format needs an extension such as bmp or png");
            format = value;
        } else if (arg == "--weights" && recipe->weighted) {
            const QStringList parts = value.split(',');
            if (parts.size() != 3)
                return QStringLiteral("--weights needs three numbers R,G,B");
            for (int c = 0; c < 3; ++c) {
                const auto n = number(parts[c].trimmed(), std::numeric_limits<int>::min());
                if (!n)
                    return QStringLiteral("--weights needs three whole numbers R,G,B");
                weights[static_cast<std::size_t>(c)] = *n;
            }
        } else {
            return QStringLiteral("unknown option %1").arg(arg);
        }
    }
    const int needed = sourceCount() + outputCount();
    if (files.size() != needed)
        return batch ? QStringLiteral("%1 --batch needs %2 folders").arg(kind).arg(needed)
                     : QStringLiteral("%1 needs %2 files").arg(kind).arg(needed);
    if (!batch) {
        for (const char* option : {"--overwrite", "--quiet", "--null", "--jobs", "--memory", "--format"})
            if (args.contains(QLatin1String(option)))
                return QStringLiteral("%1 needs --batch").arg(QLatin1String(option));
    } else if (repeat != 1) {
        return QStringLiteral("--repeat does not go with --batch");
    }
    for (qsizetype i = 1; batch && i < files.size(); ++i)
        if (files[i] == "-")
            return QStringLiteral("'-' (a list on standard input) takes the place of the first input folder only");
    return {};
}
