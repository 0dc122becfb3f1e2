#pragma once

#include <QString>

#include <chrono>
#include <vector>

// Folders read by the bytes of their names, so that a name that is not valid UTF-8 (written
// by an older system or a network share) is listed and opened like any other. Names and
// paths travel in the escaped form of qynPathFromNative (components/core/QynNativePath.h).
namespace qyn {

struct FolderEntry {
    QString name;  // escaped form
    bool folder = false;
};

// The visible entries of the folder (no "." and "..", no hidden names), folders and links to
// folders marked as such; entries that are neither folders nor regular files are left out.
// An empty list when the folder cannot be read.
std::vector<FolderEntry> readFolder(const QString& path);

// The lists' order: by name, ignoring case.
bool byName(const FolderEntry& a, const FolderEntry& b);

// 0 when the folder can be listed, else the system's error number. A volume that does not
// answer within bound (a dead network share) gives ETIMEDOUT; the question is asked on a
// thread of its own, which is left to finish by itself.
int probeFolder(const QString& path, std::chrono::milliseconds bound);

// Whether the path names an existing file or folder.
bool nativeExists(const QString& path);

// The name as the lists show it: each byte of an invalid sequence as \xHH.
QString readableName(const QString& name);

}  // namespace qyn
