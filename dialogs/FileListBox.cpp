#include "FileListBox.h"

#include <QDir>
#include <QFileInfo>

namespace {

QStringList nameFilters(const QString& pattern)
{
    QStringList filters;
    for (const QString& part : pattern.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QString filter = part.trimmed();
        // "*.*" means every file, also one without an extension, which Qt's "*.*" skips.
        if (filter == QStringLiteral("*.*"))
            filters << QStringLiteral("*");
        else if (!filter.isEmpty())
            filters << filter;
    }
    if (filters.isEmpty())
        filters << QStringLiteral("*");
    return filters;
}

}  // namespace

FileListBox::FileListBox(QWidget* parent) : QListWidget(parent)
{
    setSelectionMode(QAbstractItemView::SingleSelection);
    connect(this, &QListWidget::itemSelectionChanged, this, [this] {
        if (listIndex() >= 0)
            emit fileClicked();
    });
    path_ = QDir::toNativeSeparators(QDir::currentPath());
    fill();
}

void FileListBox::setPattern(const QString& pattern)
{
    pattern_ = pattern;
    fill();
}

void FileListBox::setPath(const QString& path)
{
    path_ = QDir::toNativeSeparators(QDir::cleanPath(QFileInfo(path).absoluteFilePath()));
    fill();
}

int FileListBox::listIndex() const
{
    const QList<QListWidgetItem*> selected = selectedItems();
    return selected.isEmpty() ? -1 : row(selected.first());
}

void FileListBox::setListIndex(int index)
{
    if (index < 0 || index >= count()) {
        clearSelection();
        return;
    }
    setCurrentRow(index, QItemSelectionModel::ClearAndSelect);
}

QString FileListBox::fileName() const
{
    const QList<QListWidgetItem*> selected = selectedItems();
    return selected.isEmpty() ? QString() : selected.first()->text();
}

void FileListBox::fill()
{
    clear();
    // Name filters without QDir::CaseSensitive match case-insensitively.
    const QDir folder(QDir::fromNativeSeparators(path_), {}, QDir::Name | QDir::IgnoreCase, QDir::Files);
    addItems(folder.entryList(nameFilters(pattern_)));
}
