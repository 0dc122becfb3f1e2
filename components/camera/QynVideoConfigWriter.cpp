#include "QynVideoConfigWriter.h"

#include "QynAtomicFile.h"
#include "QynVideoConfig.h"

#include <QFile>
#include <QRegularExpression>
#include <QStringList>

namespace {

constexpr QLatin1StringView SourceKey("source = ");

bool isComment(QStringView trimmed)
{
    return trimmed.startsWith(QLatin1Char(';')) || trimmed.startsWith(QLatin1Char('#'));
}

bool indented(QStringView line)
{
    return line.startsWith(QLatin1Char(' ')) || line.startsWith(QLatin1Char('\t'));
}

// The name of a "key = value" (or "key: value") line, lower case; empty for other lines.
QString keyOf(QStringView line)
{
    const qsizetype at = line.indexOf(QRegularExpression(QStringLiteral("[=:]")));
    return at < 0 ? QString() : line.left(at).trimmed().toString().toLower();
}

// Splits the source at single spaces into lines of at most `width` characters where its
// words allow: the reader joins the lines with one space again.
QStringList wrap(const QString& source, int width)
{
    QStringList lines;
    QString rest = source;
    while (rest.size() > width) {
        qsizetype cut = -1;
        for (qsizetype i = 1; i + 1 < rest.size(); ++i) {
            if (rest[i] != QLatin1Char(' ') || rest[i - 1] == QLatin1Char(' ') || rest[i + 1] == QLatin1Char(' '))
                continue;
            if (cut > 0 && i > width)
                break;
            cut = i;
        }
        if (cut < 0)
            break;
        lines << rest.left(cut);
        rest = rest.mid(cut + 1);
    }
    lines << rest;
    return lines;
}

bool sameKeys(const QynVideoConfig& a, const QynVideoConfig& b)
{
    return a.width == b.width && a.height == b.height && a.format == b.format && a.timeoutMs == b.timeoutMs &&
           a.warmupFrames == b.warmupFrames;
}

}  // namespace

namespace qyn {

QString replaceVideoSource(const QString& text, const QString& source, QString* problem, int width)
{
    const auto failed = [problem](QString why) {
        if (problem)
            *problem = std::move(why);
        return QString();
    };
    const QynVideoConfigResult before = parseVideoConfig(text.toStdString());
    if (!before.ok())
        return failed(before.message);
    const QString newline = text.contains(QLatin1String("\r\n")) ? QStringLiteral("\r\n") : QStringLiteral("\n");
    QStringList lines = text.split(newline);

    // Finds the source line of the [video] section and its continuation lines; comment
    // and blank lines between them stay where they are.
    QString section;
    qsizetype first = -1;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString trimmed = lines[i].trimmed();
        if (trimmed.isEmpty() || isComment(trimmed))
            continue;
        if (first >= 0) {
            if (!indented(lines[i]))
                break;
            lines.removeAt(i--);
            continue;
        }
        if (indented(lines[i]))
            continue;
        if (trimmed.startsWith(QLatin1Char('['))) {
            section = trimmed.mid(1, trimmed.indexOf(QLatin1Char(']')) - 1).trimmed().toLower();
            continue;
        }
        if (section == QLatin1String("video") && keyOf(lines[i]) == QLatin1String("source"))
            first = i;
    }
    if (first < 0)
        return failed(QStringLiteral("the configuration has no source line"));
    QStringList sourceLines = wrap(source, width);
    sourceLines[0].prepend(SourceKey);
    for (qsizetype i = 1; i < sourceLines.size(); ++i)
        sourceLines[i].prepend(QString(SourceKey.size(), QLatin1Char(' ')));
    lines.removeAt(first);
    for (qsizetype i = 0; i < sourceLines.size(); ++i)
        lines.insert(first + i, sourceLines[i]);
    const QString result = lines.join(newline);

    const QynVideoConfigResult after = parseVideoConfig(result.toStdString());
    if (!after.ok())
        return failed(QStringLiteral("the new source does not read back: %1").arg(after.message));
    if (after.config.source != source || !sameKeys(after.config, before.config))
        return failed(QStringLiteral("the new source does not read back as written (a \" ;\" in it starts a comment)"));
    return result;
}

VideoConfigSave saveVideoConfigCopy(const QString& fromPath, const QString& source, const QString& toPath)
{
    QFile from(fromPath);
    if (!from.open(QIODevice::ReadOnly))
        return {QStringLiteral("%1 cannot be read: %2").arg(fromPath, from.errorString())};
    const QByteArray bytes = from.read(QynVideoConfig::MaxFileBytes + 1);
    if (from.error() != QFileDevice::NoError)
        return {QStringLiteral("%1 cannot be read: %2").arg(fromPath, from.errorString())};
    if (bytes.size() > QynVideoConfig::MaxFileBytes)
        return {QStringLiteral("%1 is too large for a video configuration").arg(fromPath)};
    QString problem;
    const QString text = replaceVideoSource(QString::fromUtf8(bytes), source, &problem);
    if (text.isEmpty())
        return {QStringLiteral("%1: %2").arg(fromPath, problem)};
    const QByteArray out = text.toUtf8();
    if (out.size() > QynVideoConfig::MaxFileBytes)
        return {QStringLiteral("the configuration would be too large to read back")};

    QynAtomicFile file;
    if (file.open(toPath) != 0)
        return {file.reason()};
    QFile device;
    if (!device.open(file.handle(), QIODevice::WriteOnly, QFileDevice::DontCloseHandle) ||
        device.write(out) != out.size() || !device.flush())
        return {QStringLiteral("%1 cannot be written: %2").arg(toPath, device.errorString())};
    device.close();
    if (file.complete() != 0 || file.publish() != 0)
        return {file.reason()};
    return {};
}

}  // namespace qyn
