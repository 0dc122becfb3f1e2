#include "DesktopVolumes.h"

#include "QynNativePath.h"

#include <QByteArray>
#include <QDir>

// GLib names a struct member "signals", which Qt defines as a keyword.
#pragma push_macro("signals")
#undef signals
#include <gio/gunixmounts.h>
#pragma pop_macro("signals")

#include <algorithm>
#include <memory>
#include <cstring>

namespace qyn {

namespace {

// File systems that reach another machine; GIO shows them where it mounts them itself.
bool isNetworkShare(const char* type)
{
    static const char* const network[] = {"nfs", "nfs4", "cifs", "smb3", "smbfs", "ncpfs", "afs",
                                          "fuse.sshfs", "davfs", "fuse.davfs2", "fuse.rclone"};
    return std::any_of(std::begin(network), std::end(network),
                       [type](const char* name) { return std::strcmp(type, name) == 0; });
}

bool shown(GUnixMountEntry* mount)
{
    if (g_unix_mount_guess_should_display(mount))
        return true;
    if (g_unix_mount_is_system_internal(mount))
        return false;
    // Volumes the administrator mounts by hand (/mnt) and network shares, which GIO's file
    // chooser reaches through its own mounts instead.
    const char* path = g_unix_mount_get_mount_path(mount);
    const bool hidden = std::strstr(path, "/.") != nullptr;
    return !hidden && (std::strncmp(path, "/mnt/", 5) == 0 || isNetworkShare(g_unix_mount_get_fs_type(mount)));
}

struct MountListFree {
    void operator()(GList* mounts) const { g_list_free_full(mounts, reinterpret_cast<GDestroyNotify>(g_unix_mount_free)); }
};

}  // namespace

std::vector<DesktopVolume> desktopVolumes()
{
    std::vector<DesktopVolume> volumes;
    const std::unique_ptr<GList, MountListFree> mounts(g_unix_mounts_get(nullptr));
    for (GList* node = mounts.get(); node; node = node->next) {
        auto* mount = static_cast<GUnixMountEntry*>(node->data);
        if (shown(mount))
            volumes.push_back({qynPathFromNative(QByteArray(g_unix_mount_get_mount_path(mount))), {}});
    }

    std::sort(volumes.begin(), volumes.end(),
              [](const DesktopVolume& a, const DesktopVolume& b) { return a.root < b.root; });
    volumes.erase(std::unique(volumes.begin(), volumes.end(),
                              [](const DesktopVolume& a, const DesktopVolume& b) { return a.root == b.root; }),
                  volumes.end());
    const QString home = QDir::toNativeSeparators(QDir::homePath());
    std::erase_if(volumes, [&](const DesktopVolume& volume) { return volume.root == QStringLiteral("/") || volume.root == home; });
    volumes.insert(volumes.begin(), {home, QStringLiteral("Home")});
    if (home != QStringLiteral("/"))
        volumes.insert(volumes.begin(), {QStringLiteral("/"), {}});
    return volumes;
}

}  // namespace qyn
