#include "RecordProgress.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr int BarWidth = 20;

QString clock(double seconds)
{
    const auto s = static_cast<long long>(std::max(0.0, seconds) + 0.5);
    return QString::asprintf("%lld:%02lld", s / 60, s % 60);
}

}  // namespace

QString RecordProgress::bar() const
{
    // How far along, 0..1, where the recording has an end.
    std::optional<double> done;
    if (frameLimit)
        done = static_cast<double>(status.taken) / static_cast<double>(*frameLimit);
    else if (secondsLimit)
        done = status.seconds / *secondsLimit;
    QString line;
    if (done) {
        const int filled = std::clamp(static_cast<int>(*done * BarWidth), 0, BarWidth);
        line = '[' + QString(filled, '=') + (filled < BarWidth ? QStringLiteral(">") : QString())
            + QString(std::max(0, BarWidth - filled - 1), ' ') + "] ";
    }
    line += frameLimit ? QString::asprintf("%llu/%llu frames", static_cast<unsigned long long>(status.recorded),
                                           static_cast<unsigned long long>(*frameLimit))
                       : QString::asprintf("%llu frames", static_cast<unsigned long long>(status.recorded));
    line += QString::asprintf("  %llu lost  ring %.0f%%  %.1f MB/s", static_cast<unsigned long long>(status.lost),
                              100 * status.ringFill(), status.bytesPerSecond() / 1e6);
    if (done && *done > 0 && *done < 1)
        line += "  " + clock(status.seconds / *done - status.seconds) + " left";
    else
        line += "  " + clock(status.seconds);
    return line.left(79);
}

QString RecordProgress::summary(int stopSignal) const
{
    QString text;
    if (stopSignal != 0)
        text = QStringLiteral("stopped by SIG%1: ").arg(QLatin1String(sigabbrev_np(stopSignal)));
    const double rate = status.seconds > 0 ? static_cast<double>(status.recorded) / status.seconds : 0;
    text += QString::asprintf("%llu frames recorded, %llu lost", static_cast<unsigned long long>(status.recorded),
                              static_cast<unsigned long long>(status.lost));
    if (status.lostFull > 0)
        text += QString::asprintf(" (%llu of them with the memory full)", static_cast<unsigned long long>(status.lostFull));
    text += QString::asprintf(" in %.2f s (%.1f frames/s, %.1f MB/s)", status.seconds, rate,
                              status.bytesPerSecond() / 1e6);
    return text;
}
