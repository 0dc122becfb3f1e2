#include "DriveListBox.h"

#include "DesktopVolumes.h"
#include "DialogPaths.h"
#include "NativeFolder.h"
#include "WindowDesign.h"

#include <QDir>
#include <QSignalBlocker>

DriveListBox::DriveListBox(QWidget* parent) : QComboBox(parent)
{
    // Only the mount table is read here: no volume is asked, so a dead share cannot block.
    for (const qyn::DesktopVolume& volume : qyn::desktopVolumes())
        addDrive(volume.root, volume.label);
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
    const QString shown = qyn::readableName(root);
    addItem(label.isEmpty() ? shown : shown + QStringLiteral(" [") + label + QLatin1Char(']'), root);
    qyn::fitPopupToEntries(this);
    return count() - 1;
}
