#include "QynLineProfile.h"

#include <algorithm>
#include <cstdlib>

std::optional<QLine> QynLineProfile::clamped(const QynPixelBuffer& pixels, QLine line)
{
    if (pixels.width() <= 0 || pixels.height() <= 0)
        return std::nullopt;
    const auto inside = [&](QPoint p) {
        return QPoint(std::clamp(p.x(), 0, pixels.width() - 1), std::clamp(p.y(), 0, pixels.height() - 1));
    };
    return QLine(inside(line.p1()), inside(line.p2()));
}

QynLineProfile QynLineProfile::of(const QynPixelBuffer& pixels, QLine line)
{
    QynLineProfile profile;
    profile.color = pixels.format() == QynPixelFormat::Color32;
    const std::optional<QLine> inside = clamped(pixels, line);
    if (!inside)
        return profile;
    profile.line = *inside;
    int x = inside->x1(), y = inside->y1();
    const int dx = std::abs(inside->x2() - x), dy = -std::abs(inside->y2() - y);
    const int sx = x < inside->x2() ? 1 : -1, sy = y < inside->y2() ? 1 : -1;
    profile.samples.reserve(std::size_t(std::max(dx, -dy)) + 1);
    for (int error = dx + dy;;) {
        Sample sample{QPoint(x, y), {}};
        const std::uint8_t* row = pixels.row(y);
        if (profile.color) {
            const std::uint8_t* p = row + 4 * std::ptrdiff_t{x};  // memory order B, G, R, X
            sample.level = {p[2], p[1], p[0]};
        } else {
            sample.level[0] = row[x];
        }
        profile.samples.push_back(sample);
        if (x == inside->x2() && y == inside->y2())
            break;
        const int twice = 2 * error;
        if (twice >= dy) {
            error += dy;
            x += sx;
        }
        if (twice <= dx) {
            error += dx;
            y += sy;
        }
    }
    return profile;
}
