#pragma once

#include "QynPixelBuffer.h"

#include <QImage>
#include <QSize>

// Turns slot pixels into images a display can draw. Gray stays Format_Grayscale8;
// colour becomes Format_RGB32 with the X byte set to 0xff, because drawing the slot's
// 0x00RRGGBB words onto an ARGB target would make them transparent.
namespace qyn {

// Box factor that brings an image of size down to no less than limit on its larger
// relative side: the reduced copy still holds every pixel a display of limit can show.
int displayReduction(QSize size, QSize limit);

// Largest box side reducedCopy uses; a larger factor is taken as this one.
inline constexpr int MaxReductionFactor = 4096;

// The pixels averaged over factor x factor boxes (a plain copy for factor 1); boxes at
// the right and bottom edges may be narrower. One pass over the source.
QImage reducedCopy(const QynPixelBuffer& pixels, int factor);

// source smoothly scaled to exactly size, colour made opaque.
QImage scaledForDisplay(const QImage& source, QSize size);

}  // namespace qyn
