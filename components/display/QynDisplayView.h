#pragma once

#include <QPoint>
#include <QPointF>
#include <QRect>
#include <QRectF>
#include <QSize>

#include <optional>

// Where a display shows its image: fitted to its area (as it starts, and after every new
// image) or zoomed to a scale and panned to a centre. Positions on screen are device
// pixels of the area, top left (0, 0); positions in the image are image pixels, pixel
// (x, y) covering [x, x + 1) x [y, y + 1).
class QynDisplayView {
public:
    // Zoom scales are 2^(step / 2): 1/16 to 32 screen pixels an image pixel.
    static constexpr int MinStep = -8;
    static constexpr int MaxStep = 10;
    static double stepScale(int step);

    // A new image: fitted again.
    void setImage(QSize image);
    // The area in logical pixels and its device pixels to one; a zoomed view keeps its
    // scale and the image point at the area's centre.
    void setArea(QSize area, double ratio);

    QSize image() const { return image_; }
    bool fitted() const { return fitted_; }
    void fit() { fitted_ = true; }

    // The image fitted to the area with its aspect ratio kept and centred, in logical
    // pixels; empty without an image or area.
    QRect fittedRect() const;
    // Where the whole image lies on screen (it may reach past the area when zoomed).
    QRectF placed() const;
    // Screen pixels an image pixel along x.
    double scale() const;
    // The middle of the area, where the keyboard zooms about.
    QPointF areaCentre() const;

    // One zoom step in or out, or the given scale, keeping the image point under
    // `screen` where it is as far as the pan limits allow.
    void zoomIn(QPointF screen);
    void zoomOut(QPointF screen);
    void zoomTo(double scale, QPointF screen);
    // Moves the image by `screen` pixels. Along an axis where the zoomed image is
    // larger than the area it always covers the area; where it is smaller it stays
    // centred. A fitted view does not move.
    void panBy(QPointF screen);

    QPointF toImage(QPointF screen) const;
    QPointF toScreen(QPointF image) const;
    // The image pixel under a screen point, none outside the image or the area.
    std::optional<QPoint> pixelAt(QPointF screen) const;
    // Where an image pixel lies on screen.
    QRectF pixelRect(QPoint pixel) const;

    // A box of `box` placed beside `keepClear` inside `area`: below right of it when it
    // fits there, else on another side; none when it fits on no side.
    static std::optional<QRect> besides(QRect keepClear, QSize box, QRect area, int gap);

private:
    QRectF areaRect() const;
    // Takes the zoom to `scale` about `screen` from whatever the view shows now.
    void zoomAbout(double scale, QPointF screen);
    void clampCentre();

    QSize image_;
    QSize area_;          // logical pixels
    double ratio_ = 1.0;  // device pixels to a logical one
    bool fitted_ = true;
    double scale_ = 1.0;  // when zoomed: screen pixels an image pixel ...
    QPointF centre_;      // ... and the image point at the area's centre
};
