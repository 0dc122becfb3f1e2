#include "QynMeasureText.h"

#include <QStringList>

#include <array>
#include <limits>

namespace qyn {

namespace {

// Four whole numbers from 0 separated by commas.
std::optional<std::array<int, 4>> fourNumbers(const QString& text)
{
    const QStringList parts = text.split(',');
    if (parts.size() != 4)
        return std::nullopt;
    std::array<int, 4> v{};
    for (std::size_t i = 0; i < 4; ++i) {
        bool ok = false;
        v[i] = parts[qsizetype(i)].trimmed().toInt(&ok);
        if (!ok || v[i] < 0)
            return std::nullopt;
    }
    return v;
}

QString decimals(double value)
{
    return QString::number(value, 'f', 3);
}

QString channelHeader(bool color)
{
    return color ? QStringLiteral("red\tgreen\tblue") : QStringLiteral("gray");
}

}  // namespace

QString channelName(bool color, int channel)
{
    if (!color)
        return QStringLiteral("gray");
    static const char* const names[] = {"red", "green", "blue"};
    return QString::fromLatin1(names[channel]);
}

QString statsText(const QynRegionStats& stats)
{
    const QRect r = stats.region;
    QString text = QStringLiteral("region\t%1\t%2\t%3\t%4\n").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
    text += QStringLiteral("channel\tpixels\tmean\tstd dev\tmin\tmax\tat 0\tat 255\n");
    for (int c = 0; c < stats.channelCount(); ++c) {
        const auto& s = stats.channels[std::size_t(c)];
        const bool any = stats.pixels > 0;
        text += QStringList{channelName(stats.color, c), QString::number(stats.pixels), decimals(stats.mean(c)),
                            decimals(stats.standardDeviation(c)), any ? QString::number(s.min) : QStringLiteral("-"),
                            any ? QString::number(s.max) : QStringLiteral("-"), QString::number(s.atZero),
                            QString::number(s.atFull)}
                    .join('\t')
            + '\n';
    }
    return text;
}

std::optional<QRect> regionFromText(const QString& text)
{
    const auto v = fourNumbers(text);
    if (!v || (*v)[2] < 1 || (*v)[3] < 1 || (*v)[2] > std::numeric_limits<int>::max() - (*v)[0]
        || (*v)[3] > std::numeric_limits<int>::max() - (*v)[1])
        return std::nullopt;
    return QRect((*v)[0], (*v)[1], (*v)[2], (*v)[3]);
}

std::optional<QLine> lineFromText(const QString& text)
{
    const auto v = fourNumbers(text);
    if (!v)
        return std::nullopt;
    return QLine((*v)[0], (*v)[1], (*v)[2], (*v)[3]);
}

QString regionToText(QRect region)
{
    return QStringLiteral("%1,%2,%3,%4").arg(region.x()).arg(region.y()).arg(region.width()).arg(region.height());
}

QString lineToText(QLine line)
{
    return QStringLiteral("%1,%2,%3,%4").arg(line.x1()).arg(line.y1()).arg(line.x2()).arg(line.y2());
}

QString clippingText(const QynHistogram& histogram)
{
    QString text = QStringLiteral("channel\tat 0\tat 255\n");
    for (int c = 0; c < histogram.channelCount(); ++c)
        text += QStringLiteral("%1\t%2\t%3\n")
                    .arg(channelName(histogram.color, c))
                    .arg(histogram.atZero(c))
                    .arg(histogram.atFull(c));
    return text;
}

QString histogramText(const QynHistogram& histogram)
{
    QString text = QStringLiteral("level\t") + channelHeader(histogram.color) + '\n';
    for (std::size_t v = 0; v < 256; ++v) {
        text += QString::number(v);
        for (int c = 0; c < histogram.channelCount(); ++c)
            text += '\t' + QString::number(histogram.counts[std::size_t(c)][v]);
        text += '\n';
    }
    return text;
}

QString profileText(const QynLineProfile& profile)
{
    const QLine l = profile.line;
    QString text = QStringLiteral("from\t%1\t%2\tto\t%3\t%4\n").arg(l.x1()).arg(l.y1()).arg(l.x2()).arg(l.y2());
    text += QStringLiteral("x\ty\t") + channelHeader(profile.color) + '\n';
    for (const QynLineProfile::Sample& s : profile.samples) {
        text += QString::number(s.at.x()) + '\t' + QString::number(s.at.y());
        for (int c = 0; c < profile.channelCount(); ++c)
            text += '\t' + QString::number(s.level[std::size_t(c)]);
        text += '\n';
    }
    return text;
}

}  // namespace qyn
