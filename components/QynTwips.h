#pragma once

#include <QRect>

#include <cmath>

// Window designs are kept in twips, as the layout tables give them: 15 twips are one
// device-independent pixel (Qt scales those for high-DPI screens itself).
namespace qyn {

inline constexpr double TwipsPerPixel = 15.0;

inline int twipsToPixels(double twips)
{
    return static_cast<int>(std::lround(twips / TwipsPerPixel));
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
