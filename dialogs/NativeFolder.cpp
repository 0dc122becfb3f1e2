#include "NativeFolder.h"

#include "QynNativePath.h"

#include <QByteArray>

#include <cerrno>
#include <future>
#include <memory>
#include <thread>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

namespace qyn {

namespace {

constexpr char16_t EscapeFirst = 0xdc80;
constexpr char16_t EscapeLast = 0xdcff;

}  // namespace

std::vector<FolderEntry> readFolder(const QString& path)
{
    std::vector<FolderEntry> entries;
    DIR* dir = opendir(qynPathToNative(path).constData());
    if (!dir)
        return entries;
    const int fd = dirfd(dir);
    while (const dirent* entry = readdir(dir)) {
        if (entry->d_name[0] == '.')
            continue;
        bool folder = entry->d_type == DT_DIR;
        bool file = entry->d_type == DT_REG;
        if (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) {
            struct stat target {};
            if (fstatat(fd, entry->d_name, &target, 0) != 0)
                continue;  // a broken link
            folder = S_ISDIR(target.st_mode);
            file = S_ISREG(target.st_mode);
        }
        if (folder || file)
            entries.push_back({qynPathFromNative(QByteArray(entry->d_name)), folder});
    }
    closedir(dir);
    return entries;
}

bool byName(const FolderEntry& a, const FolderEntry& b)
{
    const int order = QString::compare(a.name, b.name, Qt::CaseInsensitive);
    return order != 0 ? order < 0 : a.name < b.name;
}

int probeFolder(const QString& path, std::chrono::milliseconds bound)
{
    auto answer = std::make_shared<std::promise<int>>();
    std::future<int> result = answer->get_future();
    std::thread([native = qynPathToNative(path), answer] {
        DIR* dir = opendir(native.constData());
        const int error = dir ? 0 : errno;
        if (dir)
            closedir(dir);
        answer->set_value(error);
    }).detach();
    if (result.wait_for(bound) != std::future_status::ready)
        return ETIMEDOUT;
    return result.get();
}

bool nativeExists(const QString& path)
{
    struct stat info {};
    return stat(qynPathToNative(path).constData(), &info) == 0;
}

QString readableName(const QString& name)
{
    QString shown;
    shown.reserve(name.size());
    for (qsizetype i = 0; i < name.size(); ++i) {
        const char16_t c = name[i].unicode();
        const bool paired = i > 0 && name[i - 1].isHighSurrogate();
        if (c >= EscapeFirst && c <= EscapeLast && !paired)
            shown += QStringLiteral("\\x") + QString::number(c - 0xdc00, 16).toUpper();  // bytes 80..FF
        else
            shown += name[i];
    }
    return shown;
}

}  // namespace qyn
