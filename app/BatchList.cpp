#include "BatchList.h"

#include "ConvertExit.h"
#include "QynNativePath.h"

#include <QFile>
#include <QIODevice>
#include <QSet>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <map>
#include <memory>
#include <utility>
#include <sys/stat.h>

namespace {

QString join(const QString& folder, const QString& name)
{
    return folder.endsWith('/') ? folder + name : folder + '/' + name;
}

QString baseName(const QString& path)
{
    return path.mid(path.lastIndexOf('/') + 1);
}

bool isFolder(const QString& path)
{
    struct stat st {};
    return ::stat(qynPathToNative(path).constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The folder a path names, links followed: its device and inode, or {0, 0}.
std::pair<dev_t, ino_t> folderIdentity(const QString& path)
{
    struct stat st {};
    return ::stat(qynPathToNative(path).constData(), &st) == 0 && S_ISDIR(st.st_mode) ? std::pair{st.st_dev, st.st_ino}
                                                                                       : std::pair<dev_t, ino_t>{};
}

QString folderOf(const QString& path)
{
    const qsizetype slash = path.lastIndexOf('/');
    return slash < 0 ? QStringLiteral(".") : slash == 0 ? QStringLiteral("/") : path.left(slash);
}

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// The paths of the list, split at new lines or NUL bytes; empty entries are skipped.
QStringList listed(QIODevice* in, bool nullSeparated)
{
    QFile standardInput;
    if (!in) {
        standardInput.open(stdin, QIODevice::ReadOnly);
        in = &standardInput;
    }
    QStringList paths;
    for (const QByteArray& entry : in->readAll().split(nullSeparated ? '\0' : '\n'))
        if (!entry.isEmpty())
            paths << qynPathFromNative(entry);
    return paths;
}

}  // namespace

bool BatchList::folderNames(const QString& folder, QStringList& names, QString& why)
{
    const QByteArray native = qynPathToNative(folder);
    const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(native.constData()), &::closedir);
    if (!dir) {
        why = errno == ENOENT ? QStringLiteral("the folder does not exist") : systemError(errno);
        return false;
    }
    std::vector<QByteArray> found;
    for (;;) {
        errno = 0;  // readdir tells an error from the end only by errno
        const dirent* entry = ::readdir(dir.get());
        if (!entry)
            break;
        if (entry->d_name[0] == '.')  // hidden files, and the folder's own entries
            continue;
        const QByteArray name(entry->d_name);
        struct stat st {};
        // Links are followed, as to a file named on the command line.
        if (::fstatat(::dirfd(dir.get()), name.constData(), &st, 0) == 0 && S_ISREG(st.st_mode))
            found.push_back(name);
    }
    if (errno != 0) {
        why = systemError(errno);
        return false;
    }
    std::sort(found.begin(), found.end());
    names.clear();
    for (const QByteArray& name : found)
        names << qynPathFromNative(name);
    return true;
}

QString BatchList::outputPath(const QString& folder, const QString& input, const QString& format)
{
    QString name = baseName(input);
    if (!format.isEmpty()) {
        const qsizetype dot = name.lastIndexOf('.');
        name = (dot > 0 ? name.left(dot) : name) + '.' + format;
    }
    return join(folder, name);
}

BatchList::Result BatchList::read(const ConvertOptions& options, QIODevice* in)
{
    Result result;
    const QStringList& folders = options.files;
    const qsizetype sources = options.sourceCount();
    for (qsizetype i = 0; i < folders.size(); ++i) {
        if (folders[i] == "-" || isFolder(folders[i]))
            continue;
        result.exit = i < sources ? ExitReadFailed : ExitWriteFailed;
        result.message = QStringLiteral("Cannot %1 %2: not a folder")
                             .arg(i < sources ? QLatin1String("read") : QLatin1String("write"), folders[i]);
        return result;
    }

    QStringList inputs;  // paths of the first source
    if (folders[0] == "-") {
        inputs = listed(in, options.nullSeparated);
    } else {
        QStringList names;
        QString why;
        if (!folderNames(folders[0], names, why)) {
            result.exit = ExitReadFailed;
            result.message = QStringLiteral("Cannot read %1: %2").arg(folders[0], why);
            return result;
        }
        if (options.compose()) {
            // Names in the green or blue folder that the red one lacks are unmatched too.
            const QSet<QString> red(names.begin(), names.end());
            for (qsizetype c = 1; c < 3; ++c) {
                QStringList others;
                QString otherWhy;
                if (!folderNames(folders[c], others, otherWhy)) {
                    result.exit = ExitReadFailed;
                    result.message = QStringLiteral("Cannot read %1: %2").arg(folders[c], otherWhy);
                    return result;
                }
                for (const QString& name : others)
                    if (!red.contains(name))
                        result.unmatched << QStringLiteral("Cannot compose %1: no file of that name in %2")
                                                .arg(join(folders[c], name), folders[0]);
            }
        }
        for (const QString& name : names)
            inputs << join(folders[0], name);
    }

    // An output folder that is an input folder, under whatever spelling, would have the
    // batch skip its inputs as done or, with --overwrite, write over them.
    const QStringList outputFolders = folders.mid(sources);
    std::map<std::pair<dev_t, ino_t>, QString> inputFolders;
    for (qsizetype i = 0; i < sources; ++i)
        if (folders[i] != "-")
            inputFolders.emplace(folderIdentity(folders[i]), folders[i]);
    if (folders[0] == "-")
        for (const QString& input : inputs)
            inputFolders.emplace(folderIdentity(folderOf(input)), folderOf(input));
    for (const QString& folder : outputFolders) {
        const auto same = inputFolders.find(folderIdentity(folder));
        if (same == inputFolders.end() || same->first == std::pair<dev_t, ino_t>{})
            continue;
        result.exit = ExitWriteFailed;
        result.message = QStringLiteral("Cannot write %1: it is the input folder %2").arg(folder, same->second);
        return result;
    }

    QSet<QString> outputs;
    for (const QString& input : inputs) {
        Item item;
        item.sources << input;
        if (options.compose() && folders[0] != "-") {
            QStringList missing;
            for (qsizetype c = 1; c < 3; ++c) {
                item.sources << join(folders[c], baseName(input));
                struct stat st {};
                if (::stat(qynPathToNative(item.sources.back()).constData(), &st) != 0 || !S_ISREG(st.st_mode))
                    missing << folders[c];
            }
            if (!missing.isEmpty()) {
                result.unmatched << QStringLiteral("Cannot compose %1: no file of that name in %2")
                                        .arg(input, missing.join(QLatin1String(" and ")));
                continue;
            }
        } else if (options.compose()) {
            for (qsizetype c = 1; c < 3; ++c)
                item.sources << join(folders[c], baseName(input));
        }
        for (const QString& folder : outputFolders)
            item.outputs << outputPath(folder, input, options.format);
        if (outputs.contains(item.outputs.front())) {
            result.unmatched << QStringLiteral("Cannot write %1: another input of the batch has that output (%2)")
                                    .arg(item.outputs.front(), input);
            continue;
        }
        outputs.insert(item.outputs.front());
        result.items.push_back(std::move(item));
    }
    return result;
}
