#pragma once

#include "MsgBox.h"

#include <QString>

class DirListBox;
class DriveListBox;

// The drive change of every dialog: the folder list opens the root of the chosen drive.
// When it cannot, the message "number : description" is shown with the dialog's icon and
// title, and the drive list goes back to the volume the folder list is still on; that
// change runs the drive handler again, which opens that volume's root.
void openChosenDriveRoot(DriveListBox& drives, DirListBox& folders, MsgBoxIcon icon,
                         const QString& title);

// The first folder a dialog opens: the drive list on its volume, the folder list on it.
// A folder that cannot be listed is said so, with the dialog's icon and title, and the
// user's pictures folder (or home folder) opens instead.
void openStartFolder(DriveListBox& drives, DirListBox& folders, const QString& folder,
                     MsgBoxIcon icon, const QString& title);
