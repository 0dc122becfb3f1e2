#include "QynDisplayView.h"

#include <algorithm>
#include <cmath>

double QynDisplayView::stepScale(int step)
{
    return std::pow(2.0, step / 2.0);
}

void QynDisplayView::setImage(QSize image)
{
    image_ = image;
    fitted_ = true;
}

void QynDisplayView::setArea(QSize area, double ratio)
{
    area_ = area;
    ratio_ = ratio > 0 ? ratio : 1.0;
    if (!fitted_)
        clampCentre();
}

QRect QynDisplayView::fittedRect() const
{
    if (image_.isEmpty() || area_.isEmpty())
        return {};
    const QSize fitted = image_.scaled(area_, Qt::KeepAspectRatio).expandedTo({1, 1});
    QRect r({0, 0}, fitted);
    r.moveCenter(QRect({0, 0}, area_).center());
    return r;
}

QRectF QynDisplayView::areaRect() const
{
    return {QPointF(0, 0), QSizeF(area_) * ratio_};
}

QPointF QynDisplayView::areaCentre() const
{
    return areaRect().center();
}

QRectF QynDisplayView::placed() const
{
    if (fitted_) {
        // As the fitted image is scaled: its logical rectangle at device size.
        const QRect r = fittedRect();
        return {QPointF(r.topLeft()) * ratio_, QSizeF(r.size() * ratio_)};
    }
    const QSizeF size = QSizeF(image_) * scale_;
    return {areaCentre() - centre_ * scale_, size};
}

double QynDisplayView::scale() const
{
    if (!fitted_)
        return scale_;
    return image_.isEmpty() ? 1.0 : placed().width() / image_.width();
}

void QynDisplayView::zoomIn(QPointF screen)
{
    const double now = scale();
    for (int step = MinStep; step <= MaxStep; ++step)
        if (stepScale(step) > now * (1 + 1e-9)) {
            zoomAbout(stepScale(step), screen);
            return;
        }
}

void QynDisplayView::zoomOut(QPointF screen)
{
    const double now = scale();
    for (int step = MaxStep; step >= MinStep; --step)
        if (stepScale(step) < now * (1 - 1e-9)) {
            zoomAbout(stepScale(step), screen);
            return;
        }
}

void QynDisplayView::zoomTo(double scale, QPointF screen)
{
    zoomAbout(std::clamp(scale, stepScale(MinStep), stepScale(MaxStep)), screen);
}

void QynDisplayView::zoomAbout(double scale, QPointF screen)
{
    if (image_.isEmpty() || area_.isEmpty())
        return;
    const QPointF kept = toImage(screen);
    fitted_ = false;
    scale_ = scale;
    centre_ = kept - (screen - areaCentre()) / scale_;
    clampCentre();
}

void QynDisplayView::panBy(QPointF screen)
{
    if (fitted_)
        return;
    centre_ -= screen / scale_;
    clampCentre();
}

void QynDisplayView::clampCentre()
{
    const auto clampAxis = [this](double centre, int image, double area) {
        if (image * scale_ <= area)
            return image / 2.0;
        const double half = area / 2 / scale_;
        return std::clamp(centre, half, image - half);
    };
    const QSizeF area = areaRect().size();
    centre_ = {clampAxis(centre_.x(), image_.width(), area.width()),
               clampAxis(centre_.y(), image_.height(), area.height())};
}

QPointF QynDisplayView::toImage(QPointF screen) const
{
    const QRectF r = placed();
    if (r.isEmpty())
        return {};
    return {(screen.x() - r.x()) * image_.width() / r.width(),
            (screen.y() - r.y()) * image_.height() / r.height()};
}

QPointF QynDisplayView::toScreen(QPointF image) const
{
    const QRectF r = placed();
    if (image_.isEmpty())
        return r.topLeft();
    return {r.x() + image.x() * r.width() / image_.width(),
            r.y() + image.y() * r.height() / image_.height()};
}

std::optional<QPoint> QynDisplayView::pixelAt(QPointF screen) const
{
    if (image_.isEmpty() || area_.isEmpty() || !areaRect().contains(screen))
        return std::nullopt;
    const QPointF p = toImage(screen);
    const double x = std::floor(p.x()), y = std::floor(p.y());
    if (x < 0 || y < 0 || x >= image_.width() || y >= image_.height())
        return std::nullopt;
    return QPoint(static_cast<int>(x), static_cast<int>(y));
}

QRectF QynDisplayView::pixelRect(QPoint pixel) const
{
    return {toScreen(pixel), toScreen(pixel + QPoint(1, 1))};
}

std::optional<QRect> QynDisplayView::besides(QRect keepClear, QSize box, QRect area, int gap)
{
    const int right = keepClear.right() + 1 + gap, left = keepClear.left() - gap - box.width();
    const int below = keepClear.bottom() + 1 + gap, above = keepClear.top() - gap - box.height();
    for (QPoint corner : {QPoint(right, below), QPoint(left, below), QPoint(right, above),
                          QPoint(left, above)}) {
        const QRect r(corner, box);
        if (area.contains(r))
            return r;
    }
    return std::nullopt;
}
