#include "MeasureChart.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>

MeasureChart::MeasureChart(QWidget* parent) : QWidget(parent)
{
    setMinimumSize(200, 90);
}

QSize MeasureChart::sizeHint() const
{
    return {420, 140};
}

void MeasureChart::setSeries(std::vector<Series> series, double top)
{
    series_ = std::move(series);
    top_ = top > 0 ? top : 1;
    note_.clear();
    update();
}

void MeasureChart::setNote(const QString& note)
{
    series_.clear();
    note_ = note;
    update();
}

void MeasureChart::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), palette().base());
    painter.setPen(palette().mid().color());
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
    if (series_.empty()) {
        painter.setPen(palette().text().color());
        painter.drawText(rect(), Qt::AlignCenter, note_);
        return;
    }
    const QRectF area = QRectF(rect()).adjusted(2, 2, -2, -2);
    painter.setRenderHint(QPainter::Antialiasing);
    for (const Series& s : series_) {
        if (s.values.empty())
            continue;
        const double step = s.values.size() > 1 ? area.width() / double(s.values.size() - 1) : 0;
        QPainterPath path;
        for (std::size_t i = 0; i < s.values.size(); ++i) {
            const double height = std::clamp(s.values[i] / top_, 0.0, 1.0) * area.height();
            const QPointF p(area.left() + step * double(i), area.bottom() - height);
            if (i == 0)
                path.moveTo(p);
            else
                path.lineTo(p);
        }
        painter.setPen(QPen(s.colour, 1.5));
        painter.drawPath(path);
    }
}
