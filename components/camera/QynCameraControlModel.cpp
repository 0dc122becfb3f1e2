#include "QynCameraControlModel.h"

#include "QynCameraControls.h"

#include <QColor>
#include <QLocale>

#include <algorithm>
#include <set>

namespace {

bool sameReading(const QynCameraControl& a, const QynCameraControl& b)
{
    return a.value == b.value && a.available == b.available && a.writable == b.writable && a.locked == b.locked &&
           a.entries == b.entries && a.intMin == b.intMin && a.intMax == b.intMax && a.floatMin == b.floatMin &&
           a.floatMax == b.floatMax && a.readProblem == b.readProblem;
}

QString number(double value)
{
    return QString::number(value, 'g', QLocale::FloatingPointShortest);
}

}  // namespace

QynCameraControlModel::QynCameraControlModel(QObject* parent) : QAbstractItemModel(parent)
{
    setControls(nullptr);
}

int QynCameraControlModel::addItem(int parent, const QString& name, const QString& displayName, bool category)
{
    const int at = int(items_.size());
    items_.push_back({name, displayName, category, parent, {}});
    if (parent >= 0)
        items_[std::size_t(parent)].children.push_back(at);
    return at;
}

void QynCameraControlModel::addNodes(int parent, int node)
{
    const QynCameraControls::Node& n = controls_->nodes()[std::size_t(node)];
    const int item = addItem(parent, n.name, n.displayName, n.category);
    for (int child : n.children)
        addNodes(item, child);
}

void QynCameraControlModel::setControls(QynCameraControls* controls, const QString& why)
{
    beginResetModel();
    controls_ = controls;
    why_ = controls ? QString() : why;
    items_.clear();
    cache_.clear();
    addItem(-1, {}, {}, true);
    if (controls_) {
        const int main = addItem(0, {}, tr("Main settings"), true);
        for (const QString& name : controls_->upFront()) {
            const QynCameraControl& c = cached(name);
            addItem(main, name, c.displayName.isEmpty() ? name : c.displayName, false);
        }
        // The camera's root category itself adds nothing a person needs: its children
        // stand beside "Main settings".
        if (!controls_->nodes().empty())
            for (int child : controls_->nodes().front().children)
                addNodes(0, child);
    }
    endResetModel();
}

QModelIndex QynCameraControlModel::mainSettingsIndex() const
{
    return controls_ ? index(0, 0) : QModelIndex();
}

QModelIndex QynCameraControlModel::itemIndex(std::size_t item, int column) const
{
    const Item& parent = items_[std::size_t(items_[item].parent)];
    const auto row = std::find(parent.children.begin(), parent.children.end(), int(item)) - parent.children.begin();
    return createIndex(int(row), column, quintptr(item));
}

QModelIndex QynCameraControlModel::find(const QString& name, int column) const
{
    for (std::size_t i = 1; i < items_.size(); ++i)
        if (!items_[i].category && items_[i].name == name)
            return itemIndex(i, column);
    return {};
}

const QynCameraControl& QynCameraControlModel::cached(const QString& name) const
{
    auto found = cache_.find(name);
    if (found == cache_.end())
        found = cache_.emplace(name, controls_->read(name)).first;
    return found->second;
}

QynCameraControl QynCameraControlModel::control(const QModelIndex& index) const
{
    if (!index.isValid() || items_[index.internalId()].category)
        return {};
    return cached(items_[index.internalId()].name);
}

void QynCameraControlModel::changed(const QString& name)
{
    for (std::size_t i = 1; i < items_.size(); ++i)
        if (!items_[i].category && items_[i].name == name)
            emit dataChanged(itemIndex(i, NameColumn), itemIndex(i, ValueColumn));
}

void QynCameraControlModel::refresh(const QModelIndexList& rows)
{
    if (!controls_)
        return;
    std::set<QString> names;
    for (const QModelIndex& row : rows)
        if (row.isValid() && !items_[row.internalId()].category)
            names.insert(items_[row.internalId()].name);
    for (const QString& name : names) {
        QynCameraControl fresh = controls_->read(name);
        QynCameraControl& old = cache_[name];
        if (!sameReading(old, fresh)) {
            old = std::move(fresh);
            changed(name);
        }
    }
}

bool QynCameraControlModel::execute(const QModelIndex& index)
{
    const QynCameraControl c = control(index);
    if (!controls_ || c.type != QynCameraControl::Type::Command)
        return false;
    const QynControlResult result = controls_->execute(c.name);
    if (!result.ok())
        emit problem(result.message);
    return result.ok();
}

QModelIndex QynCameraControlModel::index(int row, int column, const QModelIndex& parent) const
{
    const std::size_t at = parent.isValid() ? parent.internalId() : 0;
    if (column < 0 || column >= ColumnCount || row < 0 || std::size_t(row) >= items_[at].children.size())
        return {};
    return createIndex(row, column, quintptr(items_[at].children[std::size_t(row)]));
}

QModelIndex QynCameraControlModel::parent(const QModelIndex& child) const
{
    if (!child.isValid())
        return {};
    const int parent = items_[child.internalId()].parent;
    return parent <= 0 ? QModelIndex() : itemIndex(std::size_t(parent), NameColumn);
}

int QynCameraControlModel::rowCount(const QModelIndex& parent) const
{
    if (parent.column() > 0)
        return 0;
    return int(items_[parent.isValid() ? parent.internalId() : 0].children.size());
}

int QynCameraControlModel::columnCount(const QModelIndex&) const
{
    return ColumnCount;
}

QString QynCameraControlModel::valueText(const QynCameraControl& c) const
{
    if (!c.value.isValid())
        return c.type == QynCameraControl::Type::Command ? tr("Run") : c.readProblem;
    QString text;
    switch (c.type) {
    case QynCameraControl::Type::Float: text = number(c.value.toDouble()); break;
    case QynCameraControl::Type::Boolean: text = c.value.toBool() ? tr("On") : tr("Off"); break;
    default: text = c.valueText(); break;
    }
    return c.unit.isEmpty() ? text : text + QLatin1Char(' ') + c.unit;
}

QString QynCameraControlModel::stateText(const QynCameraControl& c) const
{
    QStringList states;
    if (!c.available)
        states << tr("not available now");
    else if (!c.writable)
        states << tr("read-only");
    if (c.needsStreamStopped && c.editable())
        states << tr("a change restarts the stream");
    QString range;
    if (c.type == QynCameraControl::Type::Integer && c.value.isValid())
        range = c.intInc > 1 ? tr("%1 to %2 in steps of %3").arg(c.intMin).arg(c.intMax).arg(c.intInc)
                             : tr("%1 to %2").arg(c.intMin).arg(c.intMax);
    else if (c.type == QynCameraControl::Type::Float && c.value.isValid())
        range = c.floatInc > 0 ? tr("%1 to %2 in steps of %3").arg(number(c.floatMin), number(c.floatMax), number(c.floatInc))
                               : tr("%1 to %2").arg(number(c.floatMin), number(c.floatMax));
    if (!range.isEmpty())
        states.prepend(range);
    return states.join(QStringLiteral("; "));
}

QVariant QynCameraControlModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid())
        return {};
    const Item& item = items_[index.internalId()];
    if (item.category)
        return index.column() == NameColumn && (role == Qt::DisplayRole || role == Qt::AccessibleTextRole)
                   ? QVariant(item.displayName)
                   : QVariant();
    const QynCameraControl& c = cached(item.name);
    const bool value = index.column() == ValueColumn;
    switch (role) {
    case Qt::DisplayRole:
        if (!value)
            return c.displayName;
        return c.type == QynCameraControl::Type::Boolean && c.value.isValid() ? QVariant() : QVariant(valueText(c));
    case Qt::EditRole: return value ? c.value : QVariant(c.displayName);
    case Qt::CheckStateRole:
        if (value && c.type == QynCameraControl::Type::Boolean && c.value.isValid())
            return c.value.toBool() ? Qt::Checked : Qt::Unchecked;
        return {};
    case Qt::AccessibleTextRole: {
        if (!value)
            return c.displayName;
        // The value cell is the one with the focus: it names its control too.
        const QString state = stateText(c);
        const QString text = QStringLiteral("%1: %2").arg(c.displayName, valueText(c));
        return state.isEmpty() ? text : QStringLiteral("%1 (%2)").arg(text, state);
    }
    case Qt::ToolTipRole: {
        QStringList lines{c.name};
        if (!c.description.isEmpty())
            lines << c.description;
        if (const QString state = stateText(c); !state.isEmpty())
            lines << state;
        return lines.join(QLatin1Char('\n'));
    }
    case Qt::AccessibleDescriptionRole: return c.description;
    case Qt::ForegroundRole: return c.available ? QVariant() : QVariant(QColor(Qt::gray));
    default: return {};
    }
}

bool QynCameraControlModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (!controls_ || !index.isValid() || index.column() != ValueColumn || items_[index.internalId()].category)
        return false;
    const QString name = items_[index.internalId()].name;
    QVariant given = value;
    if (role == Qt::CheckStateRole)
        given = value.toInt() == Qt::Checked;
    else if (role != Qt::EditRole)
        return false;
    const QynControlResult result = controls_->write(name, given);
    if (result.problem == QynControlResult::Problem::NeedsStreamStopped) {
        QynCameraControl checked = cached(name);
        QVariant valid;
        QynCameraControls::check(checked, given, valid);
        checked.value = valid;
        emit stopNeeded(name, checked.valueText());
        return false;
    }
    if (!result.ok())
        emit problem(result.message);
    // Another control may have changed with it (an automatic mode makes its value
    // read-only): everything read so far is read again.
    std::vector<QString> names;
    for (const auto& [known, c] : cache_)
        names.push_back(known);
    for (const QString& known : names) {
        QynCameraControl fresh = controls_->read(known);
        if (!sameReading(cache_[known], fresh)) {
            cache_[known] = std::move(fresh);
            changed(known);
        }
    }
    if (result.ok())
        emit written(name);
    return result.ok();
}

Qt::ItemFlags QynCameraControlModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    const Item& item = items_[index.internalId()];
    if (item.category || index.column() != ValueColumn)
        return flags;
    const QynCameraControl& c = cached(item.name);
    if (!c.editable() || !c.value.isValid())
        return flags;
    if (c.type == QynCameraControl::Type::Boolean)
        return flags | Qt::ItemIsUserCheckable;
    return c.type == QynCameraControl::Type::Command ? flags : flags | Qt::ItemIsEditable;
}

QVariant QynCameraControlModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    return section == NameColumn ? tr("Feature") : tr("Value");
}
