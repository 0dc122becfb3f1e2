#include "FileListBox.h"

#include "NativeFolder.h"

#include <QDir>
#include <QFileInfo>
#include <QMouseEvent>
#include <QRegularExpression>

#include <algorithm>
#include <vector>

namespace {

constexpr int NameRole = Qt::UserRole;

std::vector<QRegularExpression> nameFilters(const QString& pattern)
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
    std::vector<QRegularExpression> expressions;
    for (const QString& filter : filters)
        expressions.emplace_back(QRegularExpression::wildcardToRegularExpression(filter),
                                 QRegularExpression::CaseInsensitiveOption);
    return expressions;
}

}  // namespace

FileListBox::FileListBox(QWidget* parent) : QListWidget(parent)
{
    setSelectionMode(QAbstractItemView::SingleSelection);
    connect(this, &QListWidget::itemSelectionChanged, this, [this] {
        if (listIndex() >= 0)
            emit fileClicked();
    });
    connect(this, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) {
        if (pressOnPicked_ && item && item->isSelected())
            emit fileClicked();
    });
    path_ = QDir::toNativeSeparators(QDir::currentPath());
    fill();
}

void FileListBox::mousePressEvent(QMouseEvent* event)
{
    const QListWidgetItem* item = itemAt(event->position().toPoint());
    pressOnPicked_ = item && item->isSelected();
    QListWidget::mousePressEvent(event);
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
    return selected.isEmpty() ? QString() : selected.first()->data(NameRole).toString();
}

QString FileListBox::shownFileName() const
{
    const QList<QListWidgetItem*> selected = selectedItems();
    return selected.isEmpty() ? QString() : selected.first()->text();
}

void FileListBox::fill()
{
    clear();
    const std::vector<QRegularExpression> filters = nameFilters(pattern_);
    std::vector<qyn::FolderEntry> entries = qyn::readFolder(path_);
    std::sort(entries.begin(), entries.end(), qyn::byName);
    for (const qyn::FolderEntry& entry : entries) {
        if (entry.folder)
            continue;
        // Matched in the readable form: the escaped one is no valid text for the expression.
        const QString shown = qyn::readableName(entry.name);
        if (std::none_of(filters.begin(), filters.end(),
                         [&](const QRegularExpression& filter) { return filter.match(shown).hasMatch(); }))
            continue;
        auto* item = new QListWidgetItem(shown, this);
        item->setData(NameRole, entry.name);
    }
}
