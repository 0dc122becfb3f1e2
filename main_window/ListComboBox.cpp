#include "ListComboBox.h"

#include "ComboTextRoomStyle.h"
#include "WindowDesign.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QSignalBlocker>

ListComboBox::ListComboBox(bool editable, QWidget* parent) : QComboBox(parent)
{
    setEditable(editable);
    if (editable) {
        // The classic combo neither adds typed text to its list nor completes it.
        setInsertPolicy(QComboBox::NoInsert);
        setCompleter(nullptr);
        connect(lineEdit(), &QLineEdit::textEdited, this, &ListComboBox::operatorTyped);
        // Qt takes Enter after text that names an entry as a pick of that entry; in the
        // list control typing never picks, so Enter in the text does nothing here.
        lineEdit()->installEventFilter(this);
    } else {
        // The closed list shows its longest entry whole at the layout's width.
        auto* style = new ComboTextRoomStyle;
        style->setParent(this);
        setStyle(style);
    }
    connect(this, &QComboBox::activated, this, &ListComboBox::operatorPicked);
}

bool ListComboBox::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == lineEdit() && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter)
            return true;
    }
    return QComboBox::eventFilter(watched, event);
}

void ListComboBox::setListIndex(int index)
{
    listIndex_ = (index >= 0 && index < count()) ? index : -1;
    {
        const QSignalBlocker blocker(this);
        setCurrentIndex(listIndex_);
    }
    emit click();
}

void ListComboBox::addItemAt(int index, const QString& text)
{
    const QString editText = currentText();
    const QSignalBlocker blocker(this);
    insertItem(index, text);
    qyn::fitPopupToEntries(this);
    // Qt selects the first entry of an empty list by itself; the list control does not.
    if (listIndex_ < 0 && currentIndex() != -1) {
        setCurrentIndex(-1);
        if (isEditable())
            setEditText(editText);
    } else if (listIndex_ >= index) {
        ++listIndex_;
    }
}

void ListComboBox::operatorPicked(int index)
{
    listIndex_ = index;
    emit click();
}

void ListComboBox::operatorTyped(const QString& text)
{
    // Typed text selects the entry it names exactly (ignoring case, as the list control
    // matches), and no entry otherwise; typing is no pick, so Click does not run.
    listIndex_ = -1;
    for (int i = 0; i < count(); ++i)
        if (itemText(i).compare(text, Qt::CaseInsensitive) == 0) {
            listIndex_ = i;
            break;
        }
}
