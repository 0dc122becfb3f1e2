#include "BatchProgress.h"

#include <csignal>
#include <cstring>

namespace {

constexpr int BarWidth = 20;

QString duration(double seconds)
{
    const auto s = static_cast<std::int64_t>(seconds + 0.5);
    return s >= 3600 ? QString::asprintf("%lld:%02lld:%02lld", static_cast<long long>(s / 3600),
                                         static_cast<long long>(s / 60 % 60), static_cast<long long>(s % 60))
                     : QString::asprintf("%lld:%02lld", static_cast<long long>(s / 60), static_cast<long long>(s % 60));
}

}  // namespace

double BatchProgress::imagesPerSecond() const
{
    return seconds > 0 ? static_cast<double>(converted + failed) / seconds : 0;
}

double BatchProgress::megabytesPerSecond() const
{
    return seconds > 0 ? static_cast<double>(inputBytes) / 1e6 / seconds : 0;
}

QString BatchProgress::bar() const
{
    const std::int64_t done = finished();
    const int filled = total > 0 ? static_cast<int>(done * BarWidth / total) : BarWidth;
    QString line = '[' + QString(filled, '=') + (filled < BarWidth ? QStringLiteral(">") : QString())
        + QString(std::max(0, BarWidth - filled - 1), ' ') + ']';
    line += QString::asprintf(" %lld/%lld files  %.1f images/s  %.1f MB/s", static_cast<long long>(done),
                              static_cast<long long>(total), imagesPerSecond(), megabytesPerSecond());
    const double rate = imagesPerSecond();
    if (rate > 0 && done < total)
        line += "  " + duration(static_cast<double>(total - done) / rate) + " left";
    return line.left(79);
}

QString BatchProgress::summary(int stopSignal) const
{
    QString text;
    if (stopSignal != 0)
        text = QStringLiteral("stopped by SIG%1: ").arg(QLatin1String(sigabbrev_np(stopSignal)));
    text += QString::asprintf("%lld converted, %lld failed, %lld skipped", static_cast<long long>(converted),
                              static_cast<long long>(failed), static_cast<long long>(skipped));
    if (finished() < total)
        text += QString::asprintf(", %lld not started", static_cast<long long>(total - finished()));
    text += QString::asprintf(" of %lld in %.2f s (%.1f images/s, %.1f MB/s)", static_cast<long long>(total), seconds,
                              imagesPerSecond(), megabytesPerSecond());
    return text;
}
