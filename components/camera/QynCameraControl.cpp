#include "QynCameraControl.h"

#include <QLocale>

QString QynCameraControl::valueText() const
{
    if (!value.isValid())
        return {};
    switch (type) {
    case Type::Integer: return QString::number(value.toLongLong());
    // The shortest text that reads back as the same double, in C notation.
    case Type::Float: return QString::number(value.toDouble(), 'g', QLocale::FloatingPointShortest);
    case Type::Boolean: return value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    case Type::Enumeration:
    case Type::String: return value.toString();
    case Type::Command: return {};
    }
    return {};
}
