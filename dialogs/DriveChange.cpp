#include "DriveChange.h"

#include "DialogPaths.h"
#include "DirListBox.h"
#include "DriveListBox.h"

void openChosenDriveRoot(DriveListBox& drives, DirListBox& folders, MsgBoxIcon icon,
                         const QString& title)
{
    if (folders.setPath(drives.drive()))
        return;
    const DirListBox::Failure& failure = folders.lastFailure();
    MsgBox(qyn::failureText(failure.number, failure.description), icon, title);
    drives.setDrive(qyn::volumeRootOf(folders.path()));
}
