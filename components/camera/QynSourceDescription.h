#pragma once

#include "QynSourceChange.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

// The text of a GStreamer source description ("aravissrc camera-name=C exposure=800 !
// video/x-raw,format=GRAY8"), split into its elements and their words so that one
// element's properties and the caps after it can change while the rest stays as written.
// Words are separated by whitespace outside double quotes; "!" links elements.
class QynSourceDescription {
public:
    explicit QynSourceDescription(const QString& text);

    // The value of an element's property as written (quotes kept), if given.
    std::optional<QString> property(const QString& element, const QString& name) const;
    // The caps right after the element, if any: "video/x-raw,format=GRAY8".
    std::optional<QString> capsAfter(const QString& element) const;

    // The description with the change made; empty with `problem` set when it cannot be
    // made (no such element, caps in a form this class does not edit, a value that cannot
    // be written as a feature).
    QString changed(const QynSourceChange& change, QString* problem) const;

    // A property value as GStreamer's parser reads it back: bare when it is a plain word,
    // otherwise in double quotes with \" and \\ escaped.
    static QString quoted(const QString& value);
    // The reverse of quoted().
    static QString unquoted(const QString& word);

private:
    using Words = QStringList;
    int find(const QString& element) const;
    static bool isCaps(const Words& words);

    std::vector<Words> elements_;
};
