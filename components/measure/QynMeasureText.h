#pragma once

#include "QynHistogram.h"
#include "QynLineProfile.h"
#include "QynRegionStats.h"

#include <QString>

#include <optional>

// Measurements as text: tab-separated lines ending in a newline, so they paste into a
// spreadsheet as rows and columns and read the same wherever they are shown (the
// measure window, `qynconvert stats`). Numbers in the C locale, the mean and the standard
// deviation to three decimals.
namespace qyn {

// The channel names of an image of this kind, channel 0 first: "gray", or "red",
// "green", "blue".
QString channelName(bool color, int channel);

// "region\tX\tY\tW\tH", then "channel\tpixels\tmean\tstd dev\tmin\tmax\tat 0\tat 255" and
// a line for every channel.
QString statsText(const QynRegionStats& stats);
// "channel\tat 0\tat 255" and a line for every channel: the histogram's clipped pixels.
QString clippingText(const QynHistogram& histogram);
// "level\t<channels>" and a line for every level 0 to 255.
QString histogramText(const QynHistogram& histogram);
// "from\tX1\tY1\tto\tX2\tY2", then "x\ty\t<channels>" and a line for every sample.
QString profileText(const QynLineProfile& profile);

// A rectangle typed as "X,Y,W,H" (X and Y from 0, W and H from 1, its far corner an int)
// and a line as "X1,Y1,X2,Y2" (coordinates from 0); none for any other text.
std::optional<QRect> regionFromText(const QString& text);
std::optional<QLine> lineFromText(const QString& text);
// The same forms written out.
QString regionToText(QRect region);
QString lineToText(QLine line);

}  // namespace qyn
