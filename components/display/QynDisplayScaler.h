#pragma once

#include "QynDisplayKernels.h"
#include "QynPixelBuffer.h"

#include <QImage>
#include <QSize>

class QynRowPool;

// Turns slot pixels into images a display can draw. The reduction keeps gray as
// Format_Grayscale8 and makes colour Format_RGB32 with the X byte set to 0xff, because
// drawing the slot's 0x00RRGGBB words onto an ARGB target would make them transparent;
// the image scaled for the display is opaque Format_RGB32 for both, ready to be copied
// to the screen.
//
// Both split their rows over `pool`, when given one, once the image is large enough to
// be worth a second thread. `recycled` is an image that is no longer needed: its memory
// is written over when it has the result's size and format and nothing else shares it,
// which saves the page faults of a new image. It must own its pixels (never wrap a
// slot's memory).
namespace qyn {

// Box factor that brings an image of size down to no less than limit on its larger
// relative side: the reduced copy still holds every pixel a display of limit can show.
int displayReduction(QSize size, QSize limit);

// Largest box side reducedCopy uses; a larger factor is taken as this one. The rows of
// a box are added in 16-bit sums, and 65536 x 65536 images, the largest slots, need no
// more than 55 for any screen.
inline constexpr int MaxReductionFactor = QynDisplayKernels::MaxSummedRows;

// The pixels averaged over factor x factor boxes (a plain copy for factor 1), each
// average rounded to the nearest level; boxes at the right and bottom edges may be
// narrower. One pass over the source.
QImage reducedCopy(const QynPixelBuffer& pixels, int factor, QynRowPool* pool = nullptr,
                   QImage recycled = {});

// source (gray or colour) at exactly size, opaque Format_RGB32: each output pixel the
// average of the source area it covers when smaller, interpolated between the nearest
// source pixels when larger, the same pixels at the same size.
QImage scaledForDisplay(const QImage& source, QSize size, QynRowPool* pool = nullptr,
                        QImage recycled = {});

}  // namespace qyn
