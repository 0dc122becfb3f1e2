#pragma once

#include <QString>

#include <vector>

// The volumes a desktop file manager offers, for the drive list: the root, the user's home,
// removable and user-mounted volumes (/media, /run/media/<user>, /mnt, mounts in the home)
// and network shares, but no system mounts (/proc, /snap/..., /run/user/..., container
// layers, /boot/efi). GLib's GIO decides, as it does for its own file chooser. The mount
// table is read without asking any volume, so a share that does not answer cannot block.
namespace qyn {

struct DesktopVolume {
    QString root;   // in the escaped form of qynPathFromNative
    QString label;  // empty, or a name to show beside the root
};

// Root first, then the home folder, then the other volumes by root path.
std::vector<DesktopVolume> desktopVolumes();

}  // namespace qyn
