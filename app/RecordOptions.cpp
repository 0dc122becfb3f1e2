#include "RecordOptions.h"

#include <cmath>
#include <limits>

std::optional<std::uint64_t> RecordOptions::bytes(const QString& text)
{
    QString digits = text.trimmed();
    int shift = 0;
    if (!digits.isEmpty()) {
        const QChar suffix = digits.back().toUpper();
        shift = suffix == 'K' ? 10 : suffix == 'M' ? 20 : suffix == 'G' ? 30 : 0;
        if (shift > 0)
            digits.chop(1);
    }
    bool ok = false;
    const qulonglong value = digits.toULongLong(&ok);
    if (!ok || value == 0 || value > (std::numeric_limits<std::uint64_t>::max() >> shift))
        return std::nullopt;
    return std::uint64_t{value} << shift;
}

QString RecordOptions::parse(const QStringList& args)
{
    QStringList files;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& arg = args[i];
        if (!arg.startsWith("--")) {
            files << arg;
            continue;
        }
        if (arg == "--quiet") {
            quiet = true;
            continue;
        }
        if (i + 1 >= args.size())
            return QStringLiteral("%1 needs a value").arg(arg);
        const QString value = args[++i];
        bool ok = false;
        if (arg == "--frames") {
            const qulonglong frames = value.toULongLong(&ok);
            if (!ok || frames == 0)
                return QStringLiteral("--frames needs a whole number of at least 1");
            settings.frameLimit = frames;
        } else if (arg == "--seconds") {
            const double s = value.toDouble(&ok);
            if (!ok || !std::isfinite(s) || s <= 0 || s > 1e9)
                return QStringLiteral("--seconds needs a number of seconds above 0");
            seconds = s;
        } else if (arg == "--format") {
            const auto format = QynRecordSettings::formatNamed(value);
            if (!format)
                return QStringLiteral("--format needs bmp, png, tif or tif-pages");
            settings.format = *format;
        } else if (arg == "--memory") {
            const auto memory = bytes(value);
            if (!memory || *memory > std::numeric_limits<std::size_t>::max())
                return QStringLiteral("--memory needs a number of bytes above 0 (a suffix K, M or G may follow)");
            settings.memoryBytes = static_cast<std::size_t>(*memory);
        } else if (arg == "--writers") {
            const int writers = value.toInt(&ok);
            if (!ok || writers < 1 || writers > QynRecordSettings::MaxWriters)
                return QStringLiteral("--writers needs a whole number from 1 to %1").arg(QynRecordSettings::MaxWriters);
            settings.writers = writers;
        } else {
            return QStringLiteral("unknown option %1").arg(arg);
        }
    }
    if (files.size() != 2)
        return QStringLiteral("record needs a video configuration file and an output folder");
    if (settings.frameLimit && seconds)
        return QStringLiteral("--frames and --seconds do not go together");
    config = files[0];
    settings.folder = files[1];
    return {};
}
