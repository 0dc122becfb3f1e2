#include "QynPixelReadout.h"

namespace qyn {

QString pixelReadout(const QynPixelBuffer& pixels, QPoint at)
{
    const std::uint8_t* row = pixels.row(at.y());
    const QString where = QStringLiteral("x %1, y %2: ").arg(at.x()).arg(at.y());
    if (pixels.format() == QynPixelFormat::Gray8)
        return where + QStringLiteral("gray %1").arg(row[at.x()]);
    const std::uint8_t* p = row + 4 * std::ptrdiff_t{at.x()};  // memory order B, G, R, X
    return where + QStringLiteral("R %1, G %2, B %3").arg(p[2]).arg(p[1]).arg(p[0]);
}

}  // namespace qyn
