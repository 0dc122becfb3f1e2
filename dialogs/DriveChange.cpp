#include "DriveChange.h"

#include "DialogPaths.h"
#include "DirListBox.h"
#include "DriveListBox.h"

#include <QDir>

void openChosenDriveRoot(DriveListBox& drives, DirListBox& folders, MsgBoxIcon icon,
                         const QString& title)
{
    if (folders.setPath(drives.drive()))
        return;
    const DirListBox::Failure& failure = folders.lastFailure();
    MsgBox(qyn::failureText(failure.number, failure.description), icon, title);
    drives.setDrive(qyn::volumeRootOf(folders.path()));
}

void openStartFolder(DriveListBox& drives, DirListBox& folders, const QString& folder,
                     MsgBoxIcon icon, const QString& title)
{
    drives.setDrive(qyn::volumeRootOf(folder));
    if (folders.setPath(folder))
        return;
    const DirListBox::Failure failure = folders.lastFailure();
    const QString instead = qyn::userPicturesFolder();
    MsgBox(QStringLiteral("The folder %1 cannot be opened (%2). The folder %3 is shown instead.")
               .arg(QDir::toNativeSeparators(folder), qyn::failureText(failure.number, failure.description),
                    instead),
           icon, title);
    drives.setDrive(qyn::volumeRootOf(instead));
    folders.setPath(instead);
}
