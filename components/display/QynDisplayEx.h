#pragma once

#include "QynComponent.h"
#include "QynComponentRegistry.h"
#include "QynDisplayView.h"
#include "QynPixelBuffer.h"

#include <QImage>
#include <QLine>
#include <QPixmap>
#include <QWidget>

#include <memory>
#include <optional>
#include <vector>

class QynRowPool;

// Shows one slot's image in an area of its window, scaled to fit with its aspect ratio
// kept, centred on a neutral background; an empty slot shows the background alone.
// ShowImage takes the slot's pixels as they are (it keeps them alive, so the slot may
// be refilled meanwhile) and builds a copy reduced to screen size once; resizes scale
// only that copy, and repaints draw the cached scaled image. Both are made on every core
// for large images, and the next image of the same size is written into their memory.
// Its accessible name describes what is shown: "empty" or "640 x 480 gray image";
// the window that carries it may set another after ShowImage.
//
// The operator may zoom (wheel about the cursor; keys + and -, 1 or 0 for one screen
// pixel an image pixel, F or a double-click to fit again) and pan (dragging, arrow
// keys); ShowImage fits again. Magnified pixels are sharp squares; a zoomed view draws
// only what is visible, when reduced from a cached reduction of its scale. Under the
// cursor the pixel's coordinates and value show in a box beside it and are the
// accessible description while they show.
class QynDisplayEx final : public QWidget, public QynComponent {
    Q_OBJECT

public:
    static constexpr const char* ProgId = "QYNCOMDISPLAYEXLibCtl.QynDisplayEx";
    enum DispId : std::int32_t {
        Initialize = 101,  // ()
        ShowImage = 103,   // (slot) any slot, filled or not
        // Container properties in twips, as doubles: Left and Top read, Width and Height
        // written (and readable). A size of zero or less, or not a number, becomes 0.
        Left = 1001,
        Top = 1002,
        Width = 1003,
        Height = 1004,
    };

    explicit QynDisplayEx(const QynStoredSettings& settings = {});
    ~QynDisplayEx() override;

    QString progId() const override { return QString::fromLatin1(ProgId); }
    QynCallResult invoke(std::int32_t dispId, QynCallKind kind,
                         std::span<const QynVariant> args) noexcept override;
    QWidget* widget() noexcept override { return this; }

    void showImage(const QynImage& slot);
    // A frame of a moving picture (a live camera): shown as ShowImage shows a slot, but a
    // frame of the size before keeps the zoom, the pan and the readout's place.
    void showLiveFrame(std::shared_ptr<const QynPixelBuffer> pixels);
    // The pixels on display, or null for an empty area.
    std::shared_ptr<const QynPixelBuffer> shownPixels() const { return pixels_; }
    // How many times the image was scaled for the area; repaints alone never add to it.
    int scaleCount() const { return scaleCount_; }
    static QColor backgroundColor();

    const QynDisplayView& view() const { return view_; }
    // The pixel value under the cursor as the box shows it; empty when none shows.
    QString readout() const { return readout_; }

    // The image pixel at a position of the widget (logical pixels), moved into the image
    // when the position lies beside it; none without an image.
    std::optional<QPoint> pixelNearest(QPointF position) const;
    // A line between two pixels' centres and a rectangle of pixels drawn over the image,
    // in image pixels, so they stay on their pixels as the view zooms and pans; none
    // draws neither.
    void setOverlay(std::optional<QLine> line, std::optional<QRect> region);

signals:
    // After every ShowImage: what the display shows is new (a slot, a camera's frame).
    void imageShown();
    // A paint has finished: what was shown is on screen (as far as the window system goes).
    void painted();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void showPixels(std::shared_ptr<const QynPixelBuffer> pixels, bool keepView);
    void syncArea();
    QPointF toDevice(QPointF position) const;
    void viewChanged();
    void rebuildScaled();
    // A copy reduced by a power of two, made in tiles as views first show them.
    struct Halving {
        QImage image;
        int tilesAcross = 0;
        std::vector<bool> made;  // a tile each, row by row of tiles
    };
    // The image a zoomed view scaled by `scale` (below 1) is drawn from, with its box
    // factor, and the halving it is when it is one.
    const QImage& sourceFor(double scale, int& factor, Halving*& halving);
    void makeTiles(Halving& halving, int factor, QRect shown);
    void updateReadout();
    void drawOverlay(QPainter& painter) const;
    QynRowPool* pool();

    std::shared_ptr<const QynPixelBuffer> pixels_;
    QImage full_;     // pixels_ as an image, sharing their memory
    QImage reduced_;  // the pixels at no more than screen size; shares pixels_ when small
    int reducedFactor_ = 1;
    bool reducedIsCopy_ = false;  // reduced_ owns its memory (and may be written over)
    std::vector<Halving> halvings_;  // reductions by 2, 4, 8 ... made when first zoomed to
    QynDisplayView view_;
    QImage scaled_;       // what the view shows, opaque RGB32 ...
    QPointF scaledAt_;    // ... drawn here (logical pixels) ...
    bool scaledValid_ = false;
    QSize scaledFor_;     // ... and made for this area
    int scaleCount_ = 0;
    QPointF cursor_;  // logical position of the mouse, while inside
    bool cursorInside_ = false;
    std::optional<QPointF> dragFrom_;
    int wheelAngle_ = 0;
    QString readout_;
    QRect readoutBox_;
    QRect paintedImage_;  // where the last paint put the image, in logical pixels
    // How far the overlay's pen reaches past the image's edge, in logical pixels.
    static constexpr int OverlayReach = 2;
    QString restingDescription_;  // the accessible description while no readout shows
    std::optional<QLine> overlayLine_;
    std::optional<QRect> overlayRegion_;
    std::unique_ptr<QynRowPool> pool_;  // made at the first image large enough to share
    bool poolFailed_ = false;
};
