#pragma once

#include "QynPixelBuffer.h"

#include <QPoint>
#include <QString>

namespace qyn {

// What an operator reads of one pixel: its coordinates and its gray level, or its red,
// green and blue levels, as "x 12, y 7: gray 130" or "x 12, y 7: R 10, G 20, B 30".
// `at` must lie in the image.
QString pixelReadout(const QynPixelBuffer& pixels, QPoint at);

}  // namespace qyn
