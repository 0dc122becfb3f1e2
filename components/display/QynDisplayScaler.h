#pragma once

#include "QynDisplayKernels.h"
#include "QynPixelBuffer.h"

#include <QImage>
#include <QRect>
#include <QRectF>
#include <QSize>

#include <limits>

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
// reducedCopy in parts, for a copy made only where it is looked at: reducedImage makes
// the image with its pixels not yet written, reduceRows writes its rows [first, end)
// between the columns [columnFirst, columnEnd), the same as reducedCopy's.
QImage reducedImage(const QynPixelBuffer& pixels, int factor, QImage recycled = {});
void reduceRows(const QynPixelBuffer& pixels, int factor, QImage& out, int first, int end,
                QynRowPool* pool = nullptr, int columnFirst = 0,
                int columnEnd = std::numeric_limits<int>::max());

// source (gray or colour) at exactly size, opaque Format_RGB32: each output pixel the
// average of the source area it covers when smaller, interpolated between the nearest
// source pixels when larger, the same pixels at the same size.
QImage scaledForDisplay(const QImage& source, QSize size, QynRowPool* pool = nullptr,
                        QImage recycled = {});

// The pixels as a read-only image that shares their memory (Format_Grayscale8 or
// Format_RGB32 with the slot's X byte): valid while `pixels` lives.
QImage imageOf(const QynPixelBuffer& pixels);

// Parts of a view of source (gray or colour) that lies at `placed` in output
// coordinates, each as an opaque Format_RGB32 image whose offset() is where it goes.
//
// sampledForDisplay: exactly the output pixels of `visible` whose centres lie in
// `placed`, each showing the source pixel under its centre (nearest neighbour), so a
// magnified pixel is a sharp square.
QImage sampledForDisplay(const QImage& source, QRectF placed, QRect visible,
                         QynRowPool* pool = nullptr, QImage recycled = {});
// averagedForDisplay: the whole source pixels that `visible` shows, scaled as
// scaledForDisplay does to their size on the output (rounded to whole pixels): for a
// source at least as fine as the output, each output pixel the average of what it covers.
QImage averagedForDisplay(const QImage& source, QRectF placed, QRect visible,
                          QynRowPool* pool = nullptr, QImage recycled = {});
// The whole source pixels averagedForDisplay reads for `visible`: a source of `source`
// pixels lying at `placed`.
QRect shownSourcePixels(QSize source, QRectF placed, QRect visible);

}  // namespace qyn
