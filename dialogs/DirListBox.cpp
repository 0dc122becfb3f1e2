#include "DirListBox.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QStyle>
#include <QStyledItemDelegate>

#include <filesystem>
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

std::filesystem::path fsPath(const QString& path)
{
#ifdef Q_OS_WIN
    return std::filesystem::path(path.toStdWString());
#else
    return std::filesystem::path(QFile::encodeName(path).toStdString());
#endif
}

// Lists the folder once, the way the list will, to learn the system's reason for a refusal.
std::error_code openFailure(const QString& path)
{
    std::error_code error;
    std::filesystem::directory_iterator probe(fsPath(path), error);
    return error;
}

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
    if (const std::error_code error = openFailure(wanted)) {
        lastFailure_ = {error.value(), QString::fromStdString(error.message())};
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

    QStringList chain;  // the open folder and its ancestors, innermost first
    for (QDir dir(QDir::fromNativeSeparators(path_));; ) {
        chain.prepend(dir.absolutePath());
        if (!dir.cdUp())
            break;
    }
    int depth = 0;
    for (const QString& folder : chain) {
        const QString name = depth == 0 ? QDir::toNativeSeparators(folder) : QFileInfo(folder).fileName();
        auto* item = new QListWidgetItem(openIcon, name, this);
        item->setData(PathRole, QDir::toNativeSeparators(folder));
        item->setData(DepthRole, depth++);
    }
    setCurrentRow(count() - 1);

    const QDir open(QDir::fromNativeSeparators(path_));
    const QStringList subFolders =
        open.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase);
    for (const QString& name : subFolders) {
        auto* item = new QListWidgetItem(closedIcon, name, this);
        item->setData(PathRole, QDir::toNativeSeparators(open.absoluteFilePath(name)));
        item->setData(DepthRole, depth);
    }
}
