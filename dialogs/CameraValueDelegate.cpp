#include "CameraValueDelegate.h"

#include "QynCameraControlModel.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLineEdit>
#include <QSpinBox>

#include <cmath>
#include <limits>

namespace {

QynCameraControl controlAt(const QModelIndex& index)
{
    const auto* model = qobject_cast<const QynCameraControlModel*>(index.model());
    return model ? model->control(index) : QynCameraControl();
}

bool fitsInt(const QynCameraControl& c)
{
    return c.intMin >= std::numeric_limits<int>::min() && c.intMax <= std::numeric_limits<int>::max() &&
           c.intInc <= std::numeric_limits<int>::max();
}

// Enough decimals to show the control's steps, at least three.
int decimalsFor(const QynCameraControl& c)
{
    if (c.floatInc <= 0)
        return 3;
    return std::clamp(int(std::ceil(-std::log10(c.floatInc))) + 1, 3, 9);
}

}  // namespace

QWidget* CameraValueDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem&, const QModelIndex& index) const
{
    const QynCameraControl c = controlAt(index);
    const QString suffix = c.unit.isEmpty() ? QString() : QLatin1Char(' ') + c.unit;
    QWidget* editor = nullptr;
    switch (c.type) {
    case QynCameraControl::Type::Integer:
        if (fitsInt(c)) {
            auto* box = new QSpinBox(parent);
            box->setRange(int(c.intMin), int(c.intMax));
            box->setSingleStep(int(c.intInc));
            box->setSuffix(suffix);
            editor = box;
        } else {
            editor = new QLineEdit(parent);  // a 64-bit range: typed, checked by the camera's rules
        }
        break;
    case QynCameraControl::Type::Float: {
        auto* box = new QDoubleSpinBox(parent);
        box->setDecimals(decimalsFor(c));
        box->setRange(c.floatMin, c.floatMax);
        box->setSingleStep(c.floatInc > 0 ? c.floatInc : std::max((c.floatMax - c.floatMin) / 100, 0.001));
        box->setSuffix(suffix);
        editor = box;
        break;
    }
    case QynCameraControl::Type::Enumeration: {
        auto* box = new QComboBox(parent);
        box->addItems(c.entries);
        editor = box;
        break;
    }
    case QynCameraControl::Type::String: {
        auto* line = new QLineEdit(parent);
        if (c.maxLength > 0 && c.maxLength < std::numeric_limits<int>::max())
            line->setMaxLength(int(c.maxLength));
        editor = line;
        break;
    }
    case QynCameraControl::Type::Boolean:
    case QynCameraControl::Type::Command: return nullptr;
    }
    editor->setObjectName(QStringLiteral("edit") + c.name);
    editor->setAccessibleName(c.displayName);
    editor->setAccessibleDescription(index.data(Qt::ToolTipRole).toString());
    return editor;
}

void CameraValueDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const
{
    const QVariant value = index.data(Qt::EditRole);
    if (auto* whole = qobject_cast<QSpinBox*>(editor))
        whole->setValue(int(value.toLongLong()));
    else if (auto* real = qobject_cast<QDoubleSpinBox*>(editor))
        real->setValue(value.toDouble());
    else if (auto* list = qobject_cast<QComboBox*>(editor))
        list->setCurrentIndex(list->findText(value.toString()));
    else if (auto* line = qobject_cast<QLineEdit*>(editor))
        line->setText(value.toString());
}

void CameraValueDelegate::setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const
{
    QVariant value;
    if (auto* whole = qobject_cast<QSpinBox*>(editor))
        value = qint64(whole->value());
    else if (auto* real = qobject_cast<QDoubleSpinBox*>(editor))
        value = real->value();
    else if (auto* list = qobject_cast<QComboBox*>(editor))
        value = list->currentText();
    else if (auto* line = qobject_cast<QLineEdit*>(editor))
        value = line->text();
    // Unchanged values are not written again: a write can restart the stream.
    if (value.isValid() && value != index.data(Qt::EditRole))
        model->setData(index, value, Qt::EditRole);
}
