#pragma once

#include <QColor>
#include <QWidget>

#include <vector>

// A line chart drawn with QPainter: one or more series of values over their index,
// scaled to a given top value (values above it are drawn at the top). Shows a note
// instead when it has no series.
class MeasureChart final : public QWidget {
    Q_OBJECT

public:
    struct Series {
        QColor colour;
        std::vector<double> values;
    };

    explicit MeasureChart(QWidget* parent = nullptr);

    void setSeries(std::vector<Series> series, double top);
    void setNote(const QString& note);
    const std::vector<Series>& series() const { return series_; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::vector<Series> series_;
    double top_ = 1;
    QString note_;
};
