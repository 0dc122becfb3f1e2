#pragma once

#include <QStyledItemDelegate>

// Edits a camera control's value with an editor fitting its type: a spin box within the
// control's range and steps for numbers, a list of the entries the camera offers now for
// an enumeration, a line of at most the control's length for text. Truth values are
// check boxes of the view; commands have no editor.
class CameraValueDelegate final : public QStyledItemDelegate {
    Q_OBJECT

public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    void setEditorData(QWidget* editor, const QModelIndex& index) const override;
    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override;
};
