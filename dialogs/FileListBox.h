#pragma once

#include <QListWidget>
#include <QString>

// The file list: the files of one folder that match the pattern, case-insensitively
// ("*.bmp" lists A.BMP; several patterns are separated by ';', and "*.*" means every file,
// with or without an extension). It starts on the process's current folder with "*.*".
class FileListBox : public QListWidget {
    Q_OBJECT

public:
    explicit FileListBox(QWidget* parent = nullptr);

    QString pattern() const { return pattern_; }
    void setPattern(const QString& pattern);
    QString path() const { return path_; }
    // Lists this folder (again); a folder that cannot be listed shows no files.
    void setPath(const QString& path);

    // The selected file's row, -1 when none is selected.
    int listIndex() const;
    void setListIndex(int index);
    // The selected file's name without its folder, in the escaped form of qynPathFromNative
    // that opens it; empty when none is selected.
    QString fileName() const;
    // The same name as the list shows it (invalid bytes as \xHH).
    QString shownFileName() const;

signals:
    // A file was picked, by the operator or by setListIndex; also a click on the file
    // that is picked already, which changes no selection.
    void fileClicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;

private:
    void fill();

    QString pattern_ = QStringLiteral("*.*");
    QString path_;
    bool pressOnPicked_ = false;  // the last mouse press hit the file already picked
};
