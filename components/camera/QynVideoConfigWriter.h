#pragma once

#include <QString>

// Saves a camera's settings as a video configuration: a copy of the configuration the
// camera was opened with, its `source` replaced and everything else (comments, other
// keys, line endings) kept, written whole or not at all. Before the file takes its
// place, its text is read back as the capture reads it and must give the new source and
// the other keys unchanged; a source that does not survive that (an inline " ;" comment
// marker in a value, a word longer than a line may be) is refused with the reason.
namespace qyn {

struct VideoConfigSave {
    QString problem;  // empty on success
    bool ok() const { return problem.isEmpty(); }
};

VideoConfigSave saveVideoConfigCopy(const QString& fromPath, const QString& source, const QString& toPath);

// The configuration text with its source replaced, its lines at most `width` characters
// where the source's words allow; empty with `problem` set when it does not read back.
QString replaceVideoSource(const QString& text, const QString& source, QString* problem, int width = 100);

}  // namespace qyn
