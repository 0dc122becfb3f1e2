#include "QynDisplayEx.h"

#include "QynArgs.h"
#include "QynDisplayScaler.h"
#include "QynImage.h"
#include "QynTwips.h"

#include <QPainter>
#include <QScreen>
#include <QStyle>
#include <QStyleOptionFocusRect>

#include <algorithm>
#include <new>

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
    reduced_ = QImage();  // may point into the old pixels: let go of it first
    scaled_ = QPixmap();
    pixels_ = slot.sharedPixels();
    if (pixels_) {
        const QScreen* where = screen();
        const qreal ratio = devicePixelRatioF();
        const QSize limit = (where ? where->size() * ratio : MinReducedLimit)
                                .expandedTo(MinReducedLimit);
        const int factor = qyn::displayReduction({pixels_->width(), pixels_->height()}, limit);
        try {
            if (factor > 1) {
                reduced_ = qyn::reducedCopy(*pixels_, factor);
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

void QynDisplayEx::rebuildPixmap()
{
    scaled_ = QPixmap();
    const QRect target = imageRect();
    if (target.isEmpty())
        return;
    const qreal ratio = devicePixelRatioF();
    const QImage image = qyn::scaledForDisplay(reduced_, target.size() * ratio);
    scaled_ = QPixmap::fromImage(image);
    scaled_.setDevicePixelRatio(ratio);
    scaledFor_ = target.size();
    ++scaleCount_;
}

void QynDisplayEx::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), backgroundColor());
    const QRect target = imageRect();
    if (!target.isEmpty()) {
        if (scaled_.isNull() || scaledFor_ != target.size())
            rebuildPixmap();  // after ShowImage or a resize, once
        if (!scaled_.isNull())
            painter.drawPixmap(target.topLeft(), scaled_);
    }
    if (hasFocus()) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.backgroundColor = backgroundColor();
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &painter, this);
    }
}
