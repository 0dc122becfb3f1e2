#include "QynDisplayEx.h"

#include "QynArgs.h"
#include "QynDisplayScaler.h"
#include "QynImage.h"
#include "QynPixelReadout.h"
#include "QynRowPool.h"
#include "QynTwips.h"

#include <QFontMetrics>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QRegion>
#include <QScreen>
#include <QStyle>
#include <QStyleOptionFocusRect>

#include <algorithm>
#include <bit>
#include <cmath>
#include <new>
#include <system_error>

namespace {

// Smallest limit for the reduced copy, so that a small or missing screen does not
// make a larger window show a blurred image.
constexpr QSize MinReducedLimit{1920, 1200};

// The readout box: its padding around the text and its distance from the pixel it reads.
constexpr int ReadoutPadding = 3;
constexpr int ReadoutGap = 12;
// One wheel notch, in eighths of a degree; an arrow key moves the view an eighth of the area.
constexpr int WheelNotch = 120;
constexpr int PanFraction = 8;
// The tiles of a halving, made as a view first shows them: a 4096 x 4096 copy in 64 x 16.
// A view that shows a part of the slot then reads little more than that part.
constexpr int HalvingBand = 64;   // rows
constexpr int HalvingTile = 256;  // columns

QString describe(const QynPixelBuffer* pixels)
{
    if (!pixels)
        return QStringLiteral("empty");
    return QStringLiteral("%1 x %2 %3 image")
        .arg(pixels->width())
        .arg(pixels->height())
        .arg(pixels->format() == QynPixelFormat::Gray8 ? QStringLiteral("gray")
                                                       : QStringLiteral("colour"));
}

}  // namespace

QynDisplayEx::QynDisplayEx(const QynStoredSettings&)
{
    setAttribute(Qt::WA_OpaquePaintEvent);  // paintEvent covers every pixel
    // It has its place in the window's tab order, and a click gives it the keyboard too.
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);  // the readout follows the cursor
    setAccessibleName(describe(nullptr));
}

QynDisplayEx::~QynDisplayEx() = default;

QynRowPool* QynDisplayEx::pool()
{
    if (!pool_ && !poolFailed_) {
        try {
            pool_ = std::make_unique<QynRowPool>(QynRowPool::coreCount());
        } catch (const std::system_error&) {
            poolFailed_ = true;  // no threads to be had: the calling thread does it all
        }
    }
    return pool_.get();
}

QColor QynDisplayEx::backgroundColor()
{
    return {0x40, 0x40, 0x40};
}

QynCallResult QynDisplayEx::invoke(std::int32_t dispId, QynCallKind kind,
                                   std::span<const QynVariant> args) noexcept
{
    try {
        switch (dispId) {
        case Initialize: {
            if (kind != QynCallKind::Method)
                return {QynStatus::UnknownMember, {}};
            if (!args.empty())
                return {QynStatus::BadArgCount, {}};
            update();
            return {};
        }
        case ShowImage: {
            if (kind != QynCallKind::Method)
                return {QynStatus::UnknownMember, {}};
            QynArgs in(args, 1);
            const QynImage* slot = in.image(0);
            if (!in.ok())
                return {in.status(), {}};
            showImage(*slot);
            return {};
        }
        case Left:
        case Top:
            if (kind != QynCallKind::PropertyGet)
                return {QynStatus::UnknownMember, {}};
            if (!args.empty())
                return {QynStatus::BadArgCount, {}};
            return {QynStatus::Ok, qyn::pixelsToTwips(dispId == Left ? x() : y())};
        case Width:
        case Height: {
            if (kind == QynCallKind::PropertyGet) {
                if (!args.empty())
                    return {QynStatus::BadArgCount, {}};
                return {QynStatus::Ok, qyn::pixelsToTwips(dispId == Width ? width() : height())};
            }
            if (kind != QynCallKind::PropertyPut)
                return {QynStatus::UnknownMember, {}};
            QynArgs in(args, 1);
            const double twips = in.real(0);
            if (!in.ok())
                return {in.status(), {}};
            const int pixels = qyn::twipsToPixelExtent(twips);
            resize(dispId == Width ? pixels : width(), dispId == Height ? pixels : height());
            return {};
        }
        default: return {QynStatus::UnknownMember, {}};
        }
    } catch (...) {
        return {QynStatus::Failed, {}};
    }
}

void QynDisplayEx::showImage(const QynImage& slot)
{
    showPixels(slot.sharedPixels(), false);
}

void QynDisplayEx::showLiveFrame(std::shared_ptr<const QynPixelBuffer> pixels)
{
    showPixels(std::move(pixels), true);
}

void QynDisplayEx::showPixels(std::shared_ptr<const QynPixelBuffer> pixels, bool keepView)
{
    // The old reduced copy is written over when the new one has its size; a reduced_
    // that points into the old pixels is let go of first.
    QImage recycled = reducedIsCopy_ ? std::move(reduced_) : QImage();
    reduced_ = QImage();
    reducedIsCopy_ = false;
    scaledFor_ = QSize();  // scaled_ stays only as memory for the next scaling
    scaledValid_ = false;
    halvings_.clear();
    const QSize before = full_.size();
    full_ = QImage();
    reducedFactor_ = 1;
    pixels_ = std::move(pixels);
    if (!pixels_) {
        scaled_ = QImage();
    } else {
        full_ = qyn::imageOf(*pixels_);
        const QScreen* where = screen();
        const qreal ratio = devicePixelRatioF();
        const QSize limit = (where ? where->size() * ratio : MinReducedLimit)
                                .expandedTo(MinReducedLimit);
        const int factor = qyn::displayReduction({pixels_->width(), pixels_->height()}, limit);
        try {
            if (factor > 1) {
                reduced_ = qyn::reducedCopy(*pixels_, factor, pool(), std::move(recycled));
                reducedIsCopy_ = true;
                reducedFactor_ = std::clamp(factor, 1, qyn::MaxReductionFactor);
            } else {
                reduced_ = full_;  // small enough to scale directly from the slot's own memory
            }
        } catch (const std::bad_alloc&) {
            reduced_ = QImage();  // shows the background rather than fail the call
        }
    }
    if (!keepView || accessibleName() != describe(pixels_.get()))
        setAccessibleName(describe(pixels_.get()));
    // Every new image is fitted again; a moving picture of the same size keeps its view.
    if (!keepView || full_.size() != before) {
        view_.setImage(full_.size());
        dragFrom_.reset();
    }
    updateReadout();
    // A moving picture that keeps its size and view is drawn again where the image is
    // (with the overlay's pen around it); the background around it stays as drawn.
    if (keepView && full_.size() == before && !paintedImage_.isEmpty())
        update(paintedImage_.adjusted(-OverlayReach, -OverlayReach, OverlayReach, OverlayReach));
    else
        update();
    emit imageShown();
}

std::optional<QPoint> QynDisplayEx::pixelNearest(QPointF position) const
{
    const QSize image = view_.image();
    if (!pixels_ || image.isEmpty())
        return std::nullopt;
    const QPointF p = view_.toImage(toDevice(position));
    return QPoint(std::clamp(static_cast<int>(std::floor(p.x())), 0, image.width() - 1),
                  std::clamp(static_cast<int>(std::floor(p.y())), 0, image.height() - 1));
}

void QynDisplayEx::setOverlay(std::optional<QLine> line, std::optional<QRect> region)
{
    if (line == overlayLine_ && region == overlayRegion_)
        return;
    overlayLine_ = line;
    overlayRegion_ = region;
    update();
}

void QynDisplayEx::drawOverlay(QPainter& painter) const
{
    if (!pixels_ || (!overlayLine_ && !overlayRegion_))
        return;
    const qreal ratio = devicePixelRatioF();
    const auto onScreen = [&](QPointF image) { return view_.toScreen(image) / ratio; };
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(Qt::NoBrush);
    // A dark line under a light one shows on any image.
    for (const auto& [colour, width] : {std::pair{QColor(0, 0, 0, 0xc0), 3.0}, {QColor(0xff, 0xe0, 0x40), 1.0}}) {
        painter.setPen(QPen(colour, width));
        if (overlayRegion_)
            painter.drawRect(QRectF(onScreen(overlayRegion_->topLeft()),
                                    onScreen(overlayRegion_->topLeft() + QPoint(overlayRegion_->width(), overlayRegion_->height()))));
        if (overlayLine_) {
            const QPointF half(0.5, 0.5);
            painter.drawLine(onScreen(overlayLine_->p1() + half), onScreen(overlayLine_->p2() + half));
        }
    }
    painter.restore();
}

void QynDisplayEx::syncArea()
{
    view_.setArea(size(), devicePixelRatioF());
}

QPointF QynDisplayEx::toDevice(QPointF position) const
{
    // The middle of the screen pixel at the position, as the view is drawn.
    return (position + QPointF(0.5, 0.5)) * devicePixelRatioF();
}

void QynDisplayEx::viewChanged()
{
    scaledValid_ = false;
    updateReadout();
    update();
}

const QImage& QynDisplayEx::sourceFor(double scale, int& factor, Halving*& halving)
{
    // The coarsest copy still at least as fine as the screen: a power of two, or the
    // reduced copy once that is fine enough.
    const double limit = 1 / scale * (1 + 1e-9);
    unsigned by = 1;
    while (by < unsigned(qyn::MaxReductionFactor) && 2.0 * by <= limit)
        by *= 2;
    factor = 1;
    halving = nullptr;
    if (by == 1)
        return full_;
    if (reducedIsCopy_ && int(by) >= reducedFactor_) {
        factor = reducedFactor_;
        return reduced_;
    }
    const auto index = std::size_t(std::countr_zero(by) - 1);
    if (halvings_.size() <= index)
        halvings_.resize(index + 1);
    Halving& copy = halvings_[index];
    if (copy.image.isNull()) {
        try {
            copy.image = qyn::reducedImage(*pixels_, int(by));
            copy.tilesAcross = (copy.image.width() + HalvingTile - 1) / HalvingTile;
            copy.made.assign(std::size_t((copy.image.height() + HalvingBand - 1) / HalvingBand)
                                 * std::size_t(copy.tilesAcross),
                             false);
        } catch (const std::bad_alloc&) {
            copy.image = QImage();
        }
        if (copy.image.isNull())
            return full_;  // no memory for it: slower from the slot itself, but the same view
    }
    factor = int(by);
    halving = &copy;
    return copy.image;
}

void QynDisplayEx::makeTiles(Halving& halving, int factor, QRect shown)
{
    shown &= halving.image.rect();
    if (shown.isEmpty())
        return;
    // In each band of rows, runs of tiles not made yet, each in one pass over its pixels.
    const int lastTile = shown.right() / HalvingTile;
    for (int band = shown.top() / HalvingBand; band <= shown.bottom() / HalvingBand; ++band) {
        const auto made = halving.made.begin() + std::ptrdiff_t{band} * halving.tilesAcross;
        for (int tile = shown.left() / HalvingTile; tile <= lastTile;) {
            if (made[tile]) {
                ++tile;
                continue;
            }
            const int from = tile;
            for (; tile <= lastTile && !made[tile]; ++tile)
                made[tile] = true;
            qyn::reduceRows(*pixels_, factor, halving.image, band * HalvingBand, (band + 1) * HalvingBand, pool(),
                            from * HalvingTile, tile * HalvingTile);
        }
    }
}

void QynDisplayEx::rebuildScaled()
{
    scaledValid_ = false;
    syncArea();
    const QRect target = view_.fittedRect();
    if (target.isEmpty())
        return;
    const qreal ratio = devicePixelRatioF();
    try {
        if (view_.fitted()) {
            const QSize device = target.size() * ratio;
            if (device.width() >= full_.width() && device.height() >= full_.height())
                scaled_ = qyn::sampledForDisplay(full_, QRectF(QPointF(0, 0), QSizeF(device)),
                                                 QRect({0, 0}, device), pool(), std::move(scaled_));
            else
                scaled_ = qyn::scaledForDisplay(reduced_, device, pool(), std::move(scaled_));
            scaledAt_ = target.topLeft();
        } else {
            const QRectF placed = view_.placed();
            const QRect area({0, 0}, size() * ratio);
            const double scale = view_.scale();
            if (scale >= 1) {
                scaled_ = qyn::sampledForDisplay(full_, placed, area, pool(), std::move(scaled_));
            } else {
                int factor = 1;
                Halving* halving = nullptr;
                const QImage& source = sourceFor(scale, factor, halving);
                const QRectF sourcePlaced(placed.topLeft(),
                                          QSizeF(source.size()) * (factor * scale));
                if (halving) {
                    makeTiles(*halving, factor, qyn::shownSourcePixels(source.size(), sourcePlaced, area));
                }
                scaled_ = qyn::averagedForDisplay(source, sourcePlaced, area, pool(),
                                                  std::move(scaled_));
            }
            scaledAt_ = QPointF(scaled_.offset()) / ratio;
        }
    } catch (const std::bad_alloc&) {
        scaled_ = QImage();  // paints the background rather than fail the paint
        return;
    }
    if (scaled_.isNull())
        return;
    scaled_.setDevicePixelRatio(ratio);
    scaledFor_ = size();
    scaledValid_ = true;
    ++scaleCount_;
}

void QynDisplayEx::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    const bool showing = pixels_ && !reduced_.isNull() && !size().isEmpty();
    if (showing && (!scaledValid_ || scaledFor_ != size()))
        rebuildScaled();  // after ShowImage, a resize or a new view, once
    if (showing && scaledValid_ && !scaled_.isNull()) {
        // The opaque image covers its rectangle: only the rest is background.
        const QRectF drawn(scaledAt_, scaled_.deviceIndependentSize());
        const QRect covered(QPoint(int(std::ceil(drawn.left())), int(std::ceil(drawn.top()))),
                            QPoint(int(std::floor(drawn.right())) - 1,
                                   int(std::floor(drawn.bottom())) - 1));
        for (const QRect& band : event->region().subtracted(covered))
            painter.fillRect(band, backgroundColor());
        painter.drawImage(scaledAt_, scaled_);
        paintedImage_ = drawn.toAlignedRect();
    } else {
        painter.fillRect(rect(), backgroundColor());
        paintedImage_ = QRect();
    }
    drawOverlay(painter);
    if (!readoutBox_.isEmpty()) {
        painter.fillRect(readoutBox_, QColor(0x20, 0x20, 0x20, 0xe0));
        painter.setPen(Qt::white);
        painter.drawText(readoutBox_, Qt::AlignCenter, readout_);
    }
    if (hasFocus()) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.backgroundColor = backgroundColor();
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &painter, this);
    }
    painter.end();
    emit painted();
}

void QynDisplayEx::updateReadout()
{
    QString text;
    QRect box;
    if (cursorInside_ && pixels_ && !reduced_.isNull()) {
        syncArea();
        if (const std::optional<QPoint> pixel = view_.pixelAt(toDevice(cursor_))) {
            text = qyn::pixelReadout(*pixels_, *pixel);
            // Beside the pixel's square on screen (and the cursor), never over them.
            const qreal ratio = devicePixelRatioF();
            const QRectF square = view_.pixelRect(*pixel);
            const QRect keepClear =
                (QRectF(square.topLeft() / ratio, square.size() / ratio).toAlignedRect()
                 | QRect(cursor_.toPoint(), QSize(1, 1)))
                & rect();
            const QSize size = QFontMetrics(font()).size(Qt::TextSingleLine, text)
                + QSize(2 * ReadoutPadding, 2 * ReadoutPadding);
            box = QynDisplayView::besides(keepClear, size, rect(), ReadoutGap).value_or(QRect());
        }
    }
    if (text != readout_) {
        // The description the window gave is lent to the readout while it shows.
        if (readout_.isEmpty())
            restingDescription_ = accessibleDescription();
        readout_ = text;
        setAccessibleDescription(text.isEmpty() ? restingDescription_ : text);
        update(box);
    }
    if (box != readoutBox_) {
        update(readoutBox_);
        update(box);
        readoutBox_ = box;
    }
}

void QynDisplayEx::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    syncArea();
    updateReadout();
}

void QynDisplayEx::wheelEvent(QWheelEvent* event)
{
    if (!pixels_ || reduced_.isNull()) {
        event->ignore();
        return;
    }
    syncArea();
    cursor_ = event->position();
    cursorInside_ = true;
    const QPointF at = toDevice(cursor_);
    wheelAngle_ += event->angleDelta().y();
    for (; wheelAngle_ >= WheelNotch; wheelAngle_ -= WheelNotch)
        view_.zoomIn(at);
    for (; wheelAngle_ <= -WheelNotch; wheelAngle_ += WheelNotch)
        view_.zoomOut(at);
    event->accept();
    viewChanged();
}

void QynDisplayEx::keyPressEvent(QKeyEvent* event)
{
    if (!pixels_ || reduced_.isNull()) {
        QWidget::keyPressEvent(event);
        return;
    }
    syncArea();
    const QPointF centre = view_.areaCentre();
    const QSizeF step = QSizeF(size()) * devicePixelRatioF() / PanFraction;
    const bool zoomed = !view_.fitted();
    switch (event->key()) {
    case Qt::Key_Plus:
    case Qt::Key_Equal: view_.zoomIn(centre); break;
    case Qt::Key_Minus: view_.zoomOut(centre); break;
    case Qt::Key_1:
    case Qt::Key_0: view_.zoomTo(1.0, centre); break;
    case Qt::Key_F: view_.fit(); break;
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Up:
    case Qt::Key_Down: {
        if (!zoomed) {
            QWidget::keyPressEvent(event);
            return;
        }
        // The view moves the arrow's way over the image.
        const int key = event->key();
        view_.panBy({key == Qt::Key_Left ? step.width() : key == Qt::Key_Right ? -step.width() : 0.0,
                     key == Qt::Key_Up ? step.height() : key == Qt::Key_Down ? -step.height() : 0.0});
        break;
    }
    default: QWidget::keyPressEvent(event); return;
    }
    event->accept();
    viewChanged();
}

void QynDisplayEx::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    dragFrom_ = event->position();
    if (!view_.fitted())
        setCursor(Qt::ClosedHandCursor);
    event->accept();
}

void QynDisplayEx::mouseMoveEvent(QMouseEvent* event)
{
    cursor_ = event->position();
    cursorInside_ = rect().contains(cursor_.toPoint());
    if (dragFrom_ && (event->buttons() & Qt::LeftButton) && !view_.fitted()) {
        syncArea();
        view_.panBy((cursor_ - *dragFrom_) * devicePixelRatioF());
        dragFrom_ = cursor_;
        viewChanged();
    } else {
        updateReadout();
    }
    event->accept();
}

void QynDisplayEx::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        dragFrom_.reset();
        unsetCursor();
    }
    QWidget::mouseReleaseEvent(event);
}

void QynDisplayEx::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !pixels_) {
        QWidget::mouseDoubleClickEvent(event);
        return;
    }
    view_.fit();
    event->accept();
    viewChanged();
}

void QynDisplayEx::leaveEvent(QEvent* event)
{
    cursorInside_ = false;
    updateReadout();
    QWidget::leaveEvent(event);
}
