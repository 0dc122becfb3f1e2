#include "QynCameraControls.h"

#include "QynSourceDescription.h"

#include <QLocale>

#include <cmath>
#include <limits>

namespace {

using Problem = QynControlResult::Problem;

QynControlResult fail(Problem problem, QString message)
{
    return {problem, std::move(message)};
}

QString number(double value)
{
    return QString::number(value, 'g', QLocale::FloatingPointShortest);
}

// A whole number from any of the types a caller or an editor hands over.
bool toInteger(const QVariant& value, qint64& out)
{
    bool ok = false;
    switch (value.typeId()) {
    case QMetaType::Double:
    case QMetaType::Float: {
        const double d = value.toDouble();
        // 2^63 is the first double beyond qint64.
        if (!std::isfinite(d) || d != std::floor(d) || d < -9.223372036854775808e18 || d >= 9.223372036854775808e18)
            return false;
        out = static_cast<qint64>(d);
        return true;
    }
    case QMetaType::QString: out = value.toString().trimmed().toLongLong(&ok); return ok;
    default: out = value.toLongLong(&ok); return ok && value.canConvert<qint64>();
    }
}

bool toFloat(const QVariant& value, double& out)
{
    bool ok = false;
    out = value.typeId() == QMetaType::QString ? value.toString().trimmed().toDouble(&ok) : value.toDouble(&ok);
    return ok && std::isfinite(out);
}

bool toBoolean(const QVariant& value, bool& out)
{
    if (value.typeId() == QMetaType::Bool) {
        out = value.toBool();
        return true;
    }
    const QString text = value.toString().trimmed().toLower();
    for (const char* yes : {"true", "1", "on"})
        if (text == QLatin1String(yes))
            return out = true;
    for (const char* no : {"false", "0", "off"})
        if (text == QLatin1String(no)) {
            out = false;
            return true;
        }
    return false;
}

}  // namespace

int QynCameraControls::addNode(int parent, const QString& name, const QString& displayName, bool category)
{
    const int index = int(nodes_.size());
    nodes_.push_back({name, displayName.isEmpty() ? name : displayName, category, parent, {}});
    if (parent >= 0)
        nodes_[std::size_t(parent)].children.push_back(index);
    return index;
}

void QynCameraControls::noteWritten(const QString& name)
{
    written_.removeAll(name);
    written_ << name;
}

QStringList QynCameraControls::settingNames(const Pending& pending) const
{
    QStringList names = upFront_;
    for (const QString& name : written_)
        if (!names.contains(name))
            names << name;
    for (const auto& [name, value] : pending)
        if (!names.contains(name))
            names << name;
    return names;
}

QString QynCameraControls::sourceWith(const QString& source, const Pending& pending, QString* problem)
{
    const std::optional<QynSourceChange> change = sourceChange(pending, problem);
    return change ? QynSourceDescription(source).changed(*change, problem) : QString();
}

QString QynCameraControls::settingValue(const Pending& pending, const QynCameraControl& control)
{
    for (const auto& [name, value] : pending)
        if (name == control.name)
            return value;
    return control.valueText();
}

QynControlResult QynCameraControls::check(const QynCameraControl& c, const QVariant& value, QVariant& checked)
{
    const QString& name = c.name;
    const QString given = value.toString();
    switch (c.type) {
    case QynCameraControl::Type::Integer: {
        qint64 v = 0;
        if (!toInteger(value, v))
            return fail(Problem::WrongValue, QStringLiteral("%1: \"%2\" is not a whole number").arg(name, given));
        if (v < c.intMin || v > c.intMax)
            return fail(Problem::OutOfRange,
                        QStringLiteral("%1: %2 is outside the camera's range %3 to %4").arg(name).arg(v).arg(c.intMin).arg(c.intMax));
        // Unsigned: v - intMin may exceed qint64 for the widest ranges.
        if (c.intInc > 1 && (quint64(v) - quint64(c.intMin)) % quint64(c.intInc) != 0)
            return fail(Problem::NotMultiple, QStringLiteral("%1: %2 is not on the camera's steps of %3 from %4")
                                                  .arg(name).arg(v).arg(c.intInc).arg(c.intMin));
        checked = v;
        break;
    }
    case QynCameraControl::Type::Float: {
        double v = 0;
        if (!toFloat(value, v))
            return fail(Problem::WrongValue, QStringLiteral("%1: \"%2\" is not a number").arg(name, given));
        if (v < c.floatMin || v > c.floatMax)
            return fail(Problem::OutOfRange, QStringLiteral("%1: %2 is outside the camera's range %3 to %4")
                                                 .arg(name, number(v), number(c.floatMin), number(c.floatMax)));
        if (c.floatInc > 0) {
            const double steps = (v - c.floatMin) / c.floatInc;
            if (std::abs(steps - std::round(steps)) > 1e-6 * std::max(1.0, std::abs(steps)))
                return fail(Problem::NotMultiple, QStringLiteral("%1: %2 is not on the camera's steps of %3 from %4")
                                                      .arg(name, number(v), number(c.floatInc), number(c.floatMin)));
        }
        checked = v;
        break;
    }
    case QynCameraControl::Type::Enumeration:
        if (!c.entries.contains(given))
            return fail(Problem::NotOffered, QStringLiteral("%1: %2 is not offered now; the camera offers %3")
                                                 .arg(name, given, c.entries.join(QStringLiteral(", "))));
        checked = given;
        break;
    case QynCameraControl::Type::Boolean: {
        bool v = false;
        if (!toBoolean(value, v))
            return fail(Problem::WrongValue, QStringLiteral("%1: \"%2\" is not true or false").arg(name, given));
        checked = v;
        break;
    }
    case QynCameraControl::Type::String:
        if (c.maxLength > 0 && given.toUtf8().size() > c.maxLength)
            return fail(Problem::TooLong,
                        QStringLiteral("%1: the text is longer than the camera's %2 bytes").arg(name).arg(c.maxLength));
        checked = given;
        break;
    case QynCameraControl::Type::Command:
        return fail(Problem::WrongValue, QStringLiteral("%1 is a command: it is run, not set").arg(name));
    }
    return {};
}

QynControlResult QynCameraControls::write(const QString& name, const QVariant& value)
{
    const QynCameraControl c = read(name);
    if (c.name.isEmpty())
        return fail(Problem::NoSuchControl, QStringLiteral("the camera has no control %1").arg(name));
    if (!c.readProblem.isEmpty() && !c.value.isValid() && c.readable)
        return fail(Problem::NoAnswer, QStringLiteral("%1: %2").arg(name, c.readProblem));
    if (!c.available)
        return fail(Problem::Unavailable, QStringLiteral("%1 is not available now").arg(name));
    if (!c.writable)
        return fail(Problem::ReadOnly, QStringLiteral("%1 is read-only").arg(name));
    QVariant checked;
    if (QynControlResult r = check(c, value, checked); !r.ok())
        return r;
    if (c.needsStreamStopped)
        return fail(Problem::NeedsStreamStopped,
                    c.locked ? QStringLiteral("%1 is locked while the camera streams: it is set with the stream stopped").arg(name)
                             : QStringLiteral("%1 changes the frames' size or format: it is set with the stream stopped").arg(name));
    return writeChecked(c, checked);
}

QynControlResult QynCameraControls::execute(const QString& name)
{
    const QynCameraControl c = read(name);
    if (c.name.isEmpty())
        return fail(Problem::NoSuchControl, QStringLiteral("the camera has no control %1").arg(name));
    if (c.type != QynCameraControl::Type::Command)
        return fail(Problem::WrongValue, QStringLiteral("%1 is not a command").arg(name));
    if (!c.available)
        return fail(Problem::Unavailable, QStringLiteral("%1 is not available now").arg(name));
    if (!c.writable)
        return fail(Problem::ReadOnly, QStringLiteral("%1 cannot be run").arg(name));
    return executeChecked(c);
}
