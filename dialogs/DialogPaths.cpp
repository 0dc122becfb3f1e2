#include "DialogPaths.h"

#include "NativeFolder.h"
#include "QynNativePath.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStorageInfo>

#include <algorithm>

namespace qyn {

QString appendFileName(const QString& folder, const QString& name)
{
    const QChar separator = QDir::separator();
    if (folder.endsWith(separator))
        return folder + name;
    return folder + separator + name;
}

QString withDefaultExtension(const QString& path, const QString& extension)
{
    // Only the file's own name counts: a folder such as /home/first.last has a dot too.
    const qsizetype nameStart = std::max(path.lastIndexOf(QDir::separator()), path.lastIndexOf(QLatin1Char('/'))) + 1;
    if (path.indexOf(QLatin1Char('.'), nameStart) >= 0)
        return path;
    return path + QLatin1Char('.') + extension;
}

QString volumeRootOf(const QString& path)
{
    // QStorageInfo needs an existing path that decodes; a vanished folder, or one whose name
    // does not decode, belongs to its nearest such ancestor's volume.
    QString existing = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    while (!nativeExists(existing) || qynPathToNative(existing) != existing.toUtf8()) {
        const QString parent = QFileInfo(existing).path();
        if (parent == existing)
            return {};
        existing = parent;
    }
    const QStorageInfo volume(existing);
    if (!volume.isValid())
        return {};
    return QDir::toNativeSeparators(volume.rootPath());
}

QString userPicturesFolder()
{
    const QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    const QString folder = !pictures.isEmpty() && QFileInfo(pictures).isDir() ? pictures : QDir::homePath();
    return QDir::toNativeSeparators(folder);
}

QString fileDialogFolder(const QString& programFolder)
{
    const QFileInfo program(programFolder);
    if (program.isDir() && program.isWritable())
        return programFolder;
    return userPicturesFolder();
}

QString failureText(int number, const QString& description)
{
    return QString::number(number) + QStringLiteral(" : ") + description;
}

}  // namespace qyn
