#pragma once

#include <QString>

// Path rules shared by the three dialogs. Folder paths use the platform's own separator.
namespace qyn {

// folder + one separator + name; no second separator after a folder that already ends in
// one (a volume root).
QString appendFileName(const QString& folder, const QString& name);

// A path without any "." at all, folder part included, gets "." + extension (an empty
// extension leaves a trailing dot); any other path is returned unchanged.
QString withDefaultExtension(const QString& path, const QString& extension);

// The root path of the volume that holds path (its nearest existing folder, when path
// itself is gone); empty only when no volume can be found at all.
QString volumeRootOf(const QString& path);

// The drive failure message: the number in decimal, " : ", the description.
QString failureText(int number, const QString& description);

}  // namespace qyn
