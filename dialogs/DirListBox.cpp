#include "DirListBox.h"

#include "DialogPaths.h"
#include "NativeFolder.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QStyle>
#include <QStyledItemDelegate>

#include <algorithm>
#include <chrono>
#include <system_error>

namespace {

constexpr int PathRole = Qt::UserRole;
constexpr int DepthRole = Qt::UserRole + 1;
constexpr int IndentPixels = 12;

// Shifts each row right by its depth, as the classic folder tree does.
class IndentDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        option->rect.adjust(index.data(DepthRole).toInt() * IndentPixels, 0, 0, 0);
    }
};

QString normalised(const QString& path)
{
    return QDir::toNativeSeparators(QDir::cleanPath(QFileInfo(path).absoluteFilePath()));
}

// How long the list waits for a volume to answer before it calls the folder unreadable.
constexpr std::chrono::seconds AnswerBound{3};

}  // namespace

DirListBox::DirListBox(QWidget* parent) : QListWidget(parent)
{
    setItemDelegate(new IndentDelegate(this));
    setSelectionMode(QAbstractItemView::SingleSelection);
    connect(this, &QListWidget::itemDoubleClicked, this, &DirListBox::openItem);
    path_ = normalised(QDir::currentPath());
    fill();
}

bool DirListBox::setPath(const QString& path)
{
    const QString wanted = normalised(path);
    if (const int error = qyn::probeFolder(wanted, AnswerBound)) {
        lastFailure_ = {error, QString::fromStdString(std::generic_category().message(error))};
        return false;
    }
    lastFailure_ = {};
    if (wanted == path_)
        return true;
    path_ = wanted;
    fill();
    emit pathChanged(path_);
    return true;
}

void DirListBox::keyPressEvent(QKeyEvent* event)
{
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && currentItem()) {
        openItem(currentItem());
        return;
    }
    QListWidget::keyPressEvent(event);
}

void DirListBox::openItem(QListWidgetItem* item)
{
    if (!item)
        return;
    // A folder that vanished or refuses listing stays closed; the refreshed list drops it.
    if (!setPath(item->data(PathRole).toString())) {
        QApplication::beep();
        fill();
    }
}

void DirListBox::fill()
{
    clear();
    const QIcon openIcon = style()->standardIcon(QStyle::SP_DirOpenIcon);
    const QIcon closedIcon = style()->standardIcon(QStyle::SP_DirClosedIcon);

    QStringList chain;  // the open folder and its ancestors, outermost first
    for (QString folder = QDir::fromNativeSeparators(path_);; ) {
        chain.prepend(folder);
        const QString parent = QFileInfo(folder).path();  // by the text alone: names may not decode
        if (parent == folder)
            break;
        folder = parent;
    }
    int depth = 0;
    for (const QString& folder : chain) {
        const QString name = depth == 0 ? QDir::toNativeSeparators(folder) : QFileInfo(folder).fileName();
        auto* item = new QListWidgetItem(openIcon, qyn::readableName(name), this);
        item->setData(PathRole, QDir::toNativeSeparators(folder));
        item->setData(DepthRole, depth++);
    }
    setCurrentRow(count() - 1);

    std::vector<qyn::FolderEntry> entries = qyn::readFolder(path_);
    std::sort(entries.begin(), entries.end(), qyn::byName);
    const QString open = QDir::fromNativeSeparators(path_);
    for (const qyn::FolderEntry& entry : entries) {
        if (!entry.folder)
            continue;
        auto* item = new QListWidgetItem(closedIcon, qyn::readableName(entry.name), this);
        item->setData(PathRole, QDir::toNativeSeparators(qyn::appendFileName(open, entry.name)));
        item->setData(DepthRole, depth);
    }
}
