#include "QynDisplayEx.h"

#include "QynArgs.h"
#include "QynDisplayScaler.h"
#include "QynImage.h"
#include "QynRowPool.h"
#include "QynTwips.h"

#include <QPainter>
#include <QRegion>
#include <QScreen>
#include <QStyle>
#include <QStyleOptionFocusRect>

#include <algorithm>
#include <new>
#include <system_error>

namespace {

// Smallest limit for the reduced copy, so that a small or missing screen does not
// make a larger window show a blurred image.
constexpr QSize MinReducedLimit{1920, 1200};

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
    setFocusPolicy(Qt::TabFocus);  // it has its place in the window's tab order
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
    // The old reduced copy is written over when the new one has its size; a reduced_
    // that points into the old pixels is let go of first.
    QImage recycled = reducedIsCopy_ ? std::move(reduced_) : QImage();
    reduced_ = QImage();
    reducedIsCopy_ = false;
    scaledFor_ = QSize();  // scaled_ stays only as memory for the next scaling
    pixels_ = slot.sharedPixels();
    if (!pixels_) {
        scaled_ = QImage();
    } else {
        const QScreen* where = screen();
        const qreal ratio = devicePixelRatioF();
        const QSize limit = (where ? where->size() * ratio : MinReducedLimit)
                                .expandedTo(MinReducedLimit);
        const int factor = qyn::displayReduction({pixels_->width(), pixels_->height()}, limit);
        try {
            if (factor > 1) {
                reduced_ = qyn::reducedCopy(*pixels_, factor, pool(), std::move(recycled));
                reducedIsCopy_ = true;
            } else {
                // Small enough to scale directly: draw from the slot's own memory.
                reduced_ = QImage(pixels_->data(), pixels_->width(), pixels_->height(),
                                  qsizetype(pixels_->stride()),
                                  pixels_->format() == QynPixelFormat::Gray8
                                      ? QImage::Format_Grayscale8
                                      : QImage::Format_RGB32);
            }
        } catch (const std::bad_alloc&) {
            reduced_ = QImage();  // shows the background rather than fail the call
        }
    }
    setAccessibleName(describe(pixels_.get()));
    update();
}

QRect QynDisplayEx::imageRect() const
{
    if (reduced_.isNull() || !pixels_ || width() < 1 || height() < 1)
        return {};
    const QSize fitted =
        QSize(pixels_->width(), pixels_->height()).scaled(size(), Qt::KeepAspectRatio).expandedTo({1, 1});
    QRect r({0, 0}, fitted);
    r.moveCenter(rect().center());
    return r;
}

void QynDisplayEx::rebuildScaled()
{
    scaledFor_ = QSize();
    const QRect target = imageRect();
    if (target.isEmpty())
        return;
    const qreal ratio = devicePixelRatioF();
    try {
        scaled_ = qyn::scaledForDisplay(reduced_, target.size() * ratio, pool(), std::move(scaled_));
    } catch (const std::bad_alloc&) {
        scaled_ = QImage();  // paints the background rather than fail the paint
        return;
    }
    scaled_.setDevicePixelRatio(ratio);
    scaledFor_ = target.size();
    ++scaleCount_;
}

void QynDisplayEx::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QRect target = imageRect();
    if (!target.isEmpty() && scaledFor_ != target.size())
        rebuildScaled();  // after ShowImage or a resize, once
    if (!target.isEmpty() && scaledFor_ == target.size() && !scaled_.isNull()) {
        // The opaque image covers its rectangle: only the rest is background.
        for (const QRect& band : QRegion(rect()).subtracted(target))
            painter.fillRect(band, backgroundColor());
        painter.drawImage(target.topLeft(), scaled_);
    } else {
        painter.fillRect(rect(), backgroundColor());
    }
    if (hasFocus()) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.backgroundColor = backgroundColor();
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &painter, this);
    }
}
