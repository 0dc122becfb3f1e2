#include "QynRecordSettings.h"

#include <QDir>

#include <cstdio>
#include <cstring>

namespace {

constexpr std::size_t FallbackMemory = std::size_t{256} << 20;

const char* extensionOf(QynRecordSettings::Format format)
{
    switch (format) {
    case QynRecordSettings::Format::Png:
        return "png";
    case QynRecordSettings::Format::Tiff:
    case QynRecordSettings::Format::TiffPages:
        return "tif";
    case QynRecordSettings::Format::Bmp:
        break;
    }
    return "bmp";
}

}  // namespace

std::size_t QynRecordSettings::defaultMemoryBytes()
{
    std::FILE* file = std::fopen("/proc/meminfo", "re");
    if (!file)
        return FallbackMemory;
    char line[128];
    unsigned long long kib = 0;
    while (std::fgets(line, sizeof line, file))
        if (std::sscanf(line, "MemAvailable: %llu kB", &kib) == 1)
            break;
    std::fclose(file);
    return kib > 0 ? static_cast<std::size_t>(kib) * 1024 / 4 : FallbackMemory;
}

std::optional<QynRecordSettings::Format> QynRecordSettings::formatNamed(const QString& name)
{
    const QString lower = name.toLower();
    if (lower == "bmp")
        return Format::Bmp;
    if (lower == "png")
        return Format::Png;
    if (lower == "tif" || lower == "tiff")
        return Format::Tiff;
    if (lower == "tif-pages" || lower == "tiff-pages")
        return Format::TiffPages;
    return std::nullopt;
}

QString QynRecordSettings::nameOf(Format format)
{
    return format == Format::TiffPages ? QStringLiteral("tif-pages") : QString::fromLatin1(extensionOf(format));
}

QString QynRecordSettings::framePath(std::uint64_t sequence) const
{
    return QDir(folder).filePath(QString::fromLatin1(FilePrefix)
                                 + QStringLiteral("%1").arg(sequence, 6, 10, QLatin1Char('0')) + '.'
                                 + QLatin1String(extensionOf(format)));
}
