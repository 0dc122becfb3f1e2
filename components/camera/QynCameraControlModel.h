#pragma once

#include "QynCameraControl.h"
#include "QynCameraControls.h"

#include <QAbstractItemModel>
#include <QString>

#include <map>
#include <vector>

// A camera's controls as a tree for item views: first the up-front controls under "Main
// settings", then the camera's own categories. Column 0 names a control, column 1 holds
// its value (the edit role in the control's own type, a check state for a truth value).
// Values are read once when first shown and again by refresh(); a write goes to the
// camera at once, and a refused one keeps the shown value and reports the camera's reason.
class QynCameraControlModel final : public QAbstractItemModel {
    Q_OBJECT

public:
    enum Column { NameColumn, ValueColumn, ColumnCount };

    explicit QynCameraControlModel(QObject* parent = nullptr);

    // The controls to show (borrowed; null when the camera has none, with the reason).
    void setControls(QynCameraControls* controls, const QString& why = {});
    QynCameraControls* controls() const { return controls_; }
    QString noControlsReason() const { return why_; }

    QModelIndex mainSettingsIndex() const;
    // The first row that shows this control (in "Main settings" when it stands there).
    QModelIndex find(const QString& name, int column = ValueColumn) const;
    // The control a row shows, as last read; an empty name for a category.
    QynCameraControl control(const QModelIndex& index) const;
    // Runs a command row (a software trigger); false with problem() emitted when refused.
    bool execute(const QModelIndex& index);
    // Reads the controls of these rows again and tells the views what changed (an
    // automatic exposure moves on its own).
    void refresh(const QModelIndexList& rows);

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

signals:
    // A write or command the camera refused, or a value it cannot take, in words naming
    // the control.
    void problem(const QString& message);
    // A valid value for a control that needs the stream stopped: the stream's owner
    // stops it, sets the value and restarts (QynCameraControls::sourceWith).
    void stopNeeded(const QString& name, const QString& value);
    // A value the camera took (a trigger mode on or off, which the stream's owner follows).
    void written(const QString& name);

private:
    // The rows: the camera's nodes, with "Main settings" and its copies of the up-front
    // controls added.
    using Item = QynCameraControls::Node;
    int addItem(int parent, const QString& name, const QString& displayName, bool category);
    void addNodes(int parent, int node);
    QModelIndex itemIndex(std::size_t item, int column) const;
    const QynCameraControl& cached(const QString& name) const;
    void changed(const QString& name);
    QString valueText(const QynCameraControl& control) const;
    QString stateText(const QynCameraControl& control) const;

    QynCameraControls* controls_ = nullptr;
    QString why_;
    std::vector<Item> items_;  // items_[0] is the invisible root
    mutable std::map<QString, QynCameraControl> cache_;
};
