#include "QynV4l2Controls.h"

#include <QStringList>

#include <cerrno>
#include <cstring>

namespace {

using Problem = QynControlResult::Problem;

template <std::size_t N>
QString label(const __u8 (&name)[N])
{
    const char* text = reinterpret_cast<const char*>(name);
    return QString::fromUtf8(text, qsizetype(strnlen(text, N)));
}

bool offered(std::uint32_t type)
{
    return type == V4L2_CTRL_TYPE_INTEGER || type == V4L2_CTRL_TYPE_BOOLEAN || type == V4L2_CTRL_TYPE_MENU ||
           type == V4L2_CTRL_TYPE_INTEGER_MENU || type == V4L2_CTRL_TYPE_BUTTON;
}

QynCameraControl::Type typeOf(std::uint32_t type)
{
    switch (type) {
    case V4L2_CTRL_TYPE_BOOLEAN: return QynCameraControl::Type::Boolean;
    case V4L2_CTRL_TYPE_MENU:
    case V4L2_CTRL_TYPE_INTEGER_MENU: return QynCameraControl::Type::Enumeration;
    case V4L2_CTRL_TYPE_BUTTON: return QynCameraControl::Type::Command;
    default: return QynCameraControl::Type::Integer;
    }
}

QString reason(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

}  // namespace

QString QynV4l2Controls::nameFor(const QString& driverName)
{
    QString name;
    for (const QChar c : driverName) {
        if ((c >= QLatin1Char('a') && c <= QLatin1Char('z')) || (c >= QLatin1Char('0') && c <= QLatin1Char('9')))
            name += c;
        else if (c >= QLatin1Char('A') && c <= QLatin1Char('Z'))
            name += c.toLower();
        else if (!name.isEmpty() && !name.endsWith(QLatin1Char('_')))
            name += QLatin1Char('_');
    }
    while (name.endsWith(QLatin1Char('_')))
        name.chop(1);
    return name;
}

QynV4l2Controls::QynV4l2Controls(std::unique_ptr<QynV4l2Device> device) : device_(std::move(device))
{
    addNode(-1, QStringLiteral("Controls"), device_->name(), true);
    std::map<std::uint32_t, int> classNodes;
    v4l2_queryctrl query{};
    query.id = V4L2_CTRL_FLAG_NEXT_CTRL;
    std::uint32_t last = 0;
    // Each answer names the next control after the id asked for; a device that answers
    // with an id not above the last one would loop.
    while (device_->queryControl(query) == 0 && query.id > last) {
        last = query.id;
        const std::uint32_t controlClass = V4L2_CTRL_ID2CLASS(query.id);
        const QString shown = label(query.name);
        const QString name = nameFor(shown);
        if (query.type == V4L2_CTRL_TYPE_CTRL_CLASS) {
            classNodes[controlClass] = addNode(0, name, shown, true);
        } else if (offered(query.type) && !(query.flags & V4L2_CTRL_FLAG_DISABLED) && !name.isEmpty()) {
            if (!classNodes.contains(controlClass))
                classNodes[controlClass] = addNode(0, QStringLiteral("controls"), QStringLiteral("Controls"), true);
            const QString unique = ids_.contains(name) ? QStringLiteral("%1_%2").arg(name).arg(query.id, 0, 16) : name;
            ids_[unique] = query.id;
            addNode(classNodes[controlClass], unique, shown, false);
            if (query.type == V4L2_CTRL_TYPE_MENU || query.type == V4L2_CTRL_TYPE_INTEGER_MENU) {
                Menu& menu = menus_[query.id];
                // Menus are short; a driver's absurd range is not walked whole.
                for (qint64 index = std::max(0, query.minimum); index <= query.maximum && index < 256; ++index) {
                    v4l2_querymenu item{};
                    item.id = query.id;
                    item.index = std::uint32_t(index);
                    if (device_->queryMenu(item) == 0)
                        menu.entries[index] = query.type == V4L2_CTRL_TYPE_MENU ? label(item.name)
                                                                                : QString::number(qint64(item.value));
                }
            }
        }
        const std::uint32_t next = query.id;
        query = {};
        query.id = next | V4L2_CTRL_FLAG_NEXT_CTRL;
    }
    for (std::uint32_t id : {std::uint32_t(V4L2_CID_EXPOSURE_AUTO), std::uint32_t(V4L2_CID_EXPOSURE_ABSOLUTE),
                             std::uint32_t(V4L2_CID_AUTOGAIN), std::uint32_t(V4L2_CID_GAIN),
                             std::uint32_t(V4L2_CID_BRIGHTNESS), std::uint32_t(V4L2_CID_CONTRAST)})
        for (const auto& [name, known] : ids_)
            if (known == id)
                upFront_ << name;
}

QynCameraControl QynV4l2Controls::read(const QString& name)
{
    QynCameraControl c;
    const auto found = ids_.find(name);
    if (found == ids_.end())
        return c;
    c.name = name;
    v4l2_queryctrl query{};
    query.id = found->second;
    if (const int error = device_->queryControl(query)) {
        c.available = false;
        c.readProblem = reason(error);
        return c;
    }
    c.displayName = label(query.name);
    c.type = typeOf(query.type);
    c.readable = !(query.flags & V4L2_CTRL_FLAG_WRITE_ONLY) && c.type != QynCameraControl::Type::Command;
    c.writable = !(query.flags & V4L2_CTRL_FLAG_READ_ONLY);
    c.available = !(query.flags & (V4L2_CTRL_FLAG_INACTIVE | V4L2_CTRL_FLAG_DISABLED));
    c.locked = query.flags & V4L2_CTRL_FLAG_GRABBED;
    c.needsStreamStopped = c.locked;
    c.intMin = query.minimum;
    c.intMax = query.maximum;
    c.intInc = std::max<qint64>(1, query.step);
    const Menu* menu = menus_.contains(query.id) ? &menus_.at(query.id) : nullptr;
    if (menu)
        for (const auto& [index, entry] : menu->entries)
            c.entries << entry;
    if (!c.readable)
        return c;
    v4l2_control control{};
    control.id = query.id;
    if (const int error = device_->getControl(control)) {
        c.readProblem = reason(error);
        return c;
    }
    if (c.type == QynCameraControl::Type::Boolean)
        c.value = control.value != 0;
    else if (menu)
        c.value = menu->entries.contains(control.value) ? menu->entries.at(control.value) : QString::number(control.value);
    else
        c.value = qint64(control.value);
    return c;
}

std::optional<qint64> QynV4l2Controls::menuIndex(std::uint32_t id, const QString& label) const
{
    if (!menus_.contains(id))
        return std::nullopt;
    for (const auto& [index, entry] : menus_.at(id).entries)
        if (entry == label)
            return index;
    return std::nullopt;
}

QynControlResult QynV4l2Controls::failure(const QynCameraControl& c, const QString& value, int error)
{
    switch (error) {
    case EACCES: return {Problem::ReadOnly, QStringLiteral("%1 is read-only: %2").arg(c.name, reason(error))};
    case EBUSY:
        return {Problem::Refused, QStringLiteral("%1: the device is busy and refused %2 (it may allow it only with the "
                                                 "stream stopped)").arg(c.name, value)};
    case ENODEV:
    case ENXIO:
    case EIO: return {Problem::NoAnswer, QStringLiteral("%1: the device does not answer: %2").arg(c.name, reason(error))};
    default: return {Problem::Refused, QStringLiteral("%1: the device refused %2: %3").arg(c.name, value, reason(error))};
    }
}

QynControlResult QynV4l2Controls::writeChecked(const QynCameraControl& c, const QVariant& value)
{
    v4l2_control control{};
    control.id = ids_.at(c.name);
    if (c.type == QynCameraControl::Type::Enumeration)
        control.value = std::int32_t(menuIndex(control.id, value.toString()).value_or(0));
    else if (c.type == QynCameraControl::Type::Boolean)
        control.value = value.toBool() ? 1 : 0;
    else
        control.value = std::int32_t(value.toLongLong());  // within the control's 32-bit range: checked
    if (const int error = device_->setControl(control))
        return failure(c, value.toString(), error);
    noteWritten(c.name);
    return {};
}

QynControlResult QynV4l2Controls::executeChecked(const QynCameraControl& c)
{
    v4l2_control control{};
    control.id = ids_.at(c.name);
    control.value = 1;  // a button ignores its value
    if (const int error = device_->setControl(control))
        return failure(c, QStringLiteral("a press"), error);
    return {};
}

std::optional<QynSourceChange> QynV4l2Controls::sourceChange(const Pending& pending, QString*)
{
    QStringList fields;
    for (const QString& name : settingNames(pending)) {
        const QynCameraControl c = read(name);
        if (c.name.isEmpty() || !c.readable || !c.editable() || c.type == QynCameraControl::Type::Command)
            continue;
        QString value = settingValue(pending, c);
        if (c.type == QynCameraControl::Type::Enumeration) {
            const std::optional<qint64> index = menuIndex(ids_.at(name), value);
            if (!index)
                continue;
            value = QString::number(*index);
        } else if (c.type == QynCameraControl::Type::Boolean) {
            value = value == QLatin1String("true") || value == QLatin1String("1") ? QStringLiteral("1") : QStringLiteral("0");
        }
        if (!value.isEmpty())
            fields << name + QLatin1Char('=') + value;
    }
    QynSourceChange change;
    change.element = QStringLiteral("v4l2src");
    if (!fields.isEmpty())
        change.properties.emplace_back(QStringLiteral("extra-controls"), QStringLiteral("c,") + fields.join(QLatin1Char(',')));
    return change;
}
