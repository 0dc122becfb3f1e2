#pragma once

#include <QComboBox>

// A combo box with the list index of the classic list controls: the index of the entry
// the operator or the program picked, or -1 once the operator has typed text that names
// no entry. Qt's currentIndex keeps the last entry while text is typed, so the index is
// tracked here. Setting it from code runs the Click handlers at once, as a pick does.
class ListComboBox final : public QComboBox {
    Q_OBJECT

public:
    explicit ListComboBox(bool editable, QWidget* parent = nullptr);

    int listIndex() const { return listIndex_; }
    // Selects the entry (or none for -1) and emits click() before returning.
    void setListIndex(int index);
    // Adds an entry at an explicit index without selecting anything.
    void addItemAt(int index, const QString& text);

signals:
    // The operator picked an entry, or the program set the list index.
    void click();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void operatorPicked(int index);
    void operatorTyped(const QString& text);

    int listIndex_ = -1;
};
