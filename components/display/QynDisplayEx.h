#pragma once

#include "QynComponent.h"
#include "QynComponentRegistry.h"
#include "QynPixelBuffer.h"

#include <QImage>
#include <QPixmap>
#include <QWidget>

#include <memory>

class QynRowPool;

// Shows one slot's image in an area of its window, scaled to fit with its aspect ratio
// kept, centred on a neutral background; an empty slot shows the background alone.
// ShowImage takes the slot's pixels as they are (it keeps them alive, so the slot may
// be refilled meanwhile) and builds a copy reduced to screen size once; resizes scale
// only that copy, and repaints draw the cached scaled image. Both are made on every core
// for large images, and the next image of the same size is written into their memory.
// Its accessible name describes what is shown: "empty" or "640 x 480 gray image";
// the window that carries it may set another after ShowImage.
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
    // The pixels on display, or null for an empty area.
    std::shared_ptr<const QynPixelBuffer> shownPixels() const { return pixels_; }
    // How many times the image was scaled for the area; repaints alone never add to it.
    int scaleCount() const { return scaleCount_; }
    static QColor backgroundColor();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QRect imageRect() const;
    void rebuildScaled();
    QynRowPool* pool();

    std::shared_ptr<const QynPixelBuffer> pixels_;
    QImage reduced_;  // the pixels at no more than screen size; shares pixels_ when small
    bool reducedIsCopy_ = false;  // reduced_ owns its memory (and may be written over)
    QImage scaled_;     // reduced_ at the size of imageRect(), opaque RGB32 ...
    QSize scaledFor_;   // ... when it was made
    int scaleCount_ = 0;
    std::unique_ptr<QynRowPool> pool_;  // made at the first image large enough to share
    bool poolFailed_ = false;
};
