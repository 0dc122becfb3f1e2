#pragma once

#include <QString>

// Path rules shared by the three dialogs. Folder paths use the platform's own separator.
namespace qyn {

// folder + one separator + name; no second separator after a folder that already ends in
// one (a volume root).
QString appendFileName(const QString& folder, const QString& name);

// A path whose file name (the part after the last separator) has no "." gets "." +
// extension (an empty extension leaves a trailing dot); any other path is returned
// unchanged. Dots in the folders' names do not count.
QString withDefaultExtension(const QString& path, const QString& extension);

// The root path of the volume that holds path (its nearest existing folder, when path
// itself is gone); empty only when no volume can be found at all.
QString volumeRootOf(const QString& path);

// The user's pictures folder when it exists, else the home folder.
QString userPicturesFolder();

// Where the load and save dialogs open: the program's own folder while the user can write
// there, else the user's pictures folder (an installed program's folder is not writable,
// and a save there would fail).
QString fileDialogFolder(const QString& programFolder);

// The drive failure message: the number in decimal, " : ", the description.
QString failureText(int number, const QString& description);

}  // namespace qyn
