#include "DriveListBox.h"

#include "DialogPaths.h"

#include <QDir>
#include <QFileInfo>
#include <QSignalBlocker>
#include <QStorageInfo>

#include <algorithm>

DriveListBox::DriveListBox(QWidget* parent) : QComboBox(parent)
{
    QList<QStorageInfo> volumes = QStorageInfo::mountedVolumes();
    std::sort(volumes.begin(), volumes.end(),
              [](const QStorageInfo& a, const QStorageInfo& b) { return a.rootPath() < b.rootPath(); });
    for (const QStorageInfo& volume : volumes) {
        // Bind-mounted single files are volumes too, but no folder list can open them.
        if (!volume.isValid() || !volume.isReady() || !QFileInfo(volume.rootPath()).isDir())
            continue;
        addDrive(QDir::toNativeSeparators(volume.rootPath()), volume.name());
    }
    const QString current = qyn::volumeRootOf(QDir::currentPath());
    int index = findData(current);
    if (index < 0)
        index = addDrive(current, {});
    setCurrentIndex(index);

    connect(this, &QComboBox::currentIndexChanged, this, [this] { emit driveChanged(drive()); });
}

QString DriveListBox::drive() const
{
    return currentData().toString();
}

void DriveListBox::setDrive(const QString& root)
{
    if (root == drive())
        return;
    int index = findData(root);
    if (index < 0)
        index = addDrive(root, {});
    setCurrentIndex(index);
}

void DriveListBox::followFolder(const QString& folder)
{
    const QSignalBlocker quiet(this);
    setDrive(qyn::volumeRootOf(folder));
}

int DriveListBox::addDrive(const QString& root, const QString& label)
{
    addItem(label.isEmpty() ? root : root + QStringLiteral(" [") + label + QLatin1Char(']'), root);
    return count() - 1;
}
