#include "ApplicationIcon.h"

#include <QDirIterator>

QIcon qyn::applicationIcon()
{
    // The built-in copy holds the sizes packaging/icons/ holds.
    QIcon builtIn;
    for (QDirIterator it(QStringLiteral(":/icons"), {QStringLiteral("qynsample-*.png")}, QDir::Files); it.hasNext();)
        builtIn.addFile(it.next());
    return QIcon::fromTheme(QStringLiteral("qynsample"), builtIn);
}
