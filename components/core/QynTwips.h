#pragma once

#include <QRect>

#include <algorithm>
#include <cmath>

// Window designs are kept in twips, as the layout tables give them: 15 twips are one
// device-independent pixel (Qt scales those for high-DPI screens itself).
namespace qyn {

inline constexpr double TwipsPerPixel = 15.0;

inline int twipsToPixels(double twips)
{
    return static_cast<int>(std::lround(twips / TwipsPerPixel));
}

// A width or height for a widget: never negative, NaN gives 0, huge values are capped.
inline int twipsToPixelExtent(double twips)
{
    constexpr double MaxTwips = 16777215.0 * TwipsPerPixel;  // QWIDGETSIZE_MAX pixels
    if (!(twips > 0.0))
        return 0;
    return twipsToPixels(std::min(twips, MaxTwips));
}

inline double pixelsToTwips(int pixels)
{
    return pixels * TwipsPerPixel;
}

inline QRect twipsRect(int left, int top, int width, int height)
{
    return {twipsToPixels(left), twipsToPixels(top), twipsToPixels(width), twipsToPixels(height)};
}

}  // namespace qyn
