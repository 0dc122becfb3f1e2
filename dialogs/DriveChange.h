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
