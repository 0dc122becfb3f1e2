#pragma once

#include <QListWidget>
#include <QString>

// The classic folder list: the open folder's ancestors from the volume root down, then its
// sub-folders, each indented one step deeper. Double-click or Enter opens a folder.
// It starts on the process's current folder.
class DirListBox : public QListWidget {
    Q_OBJECT

public:
    explicit DirListBox(QWidget* parent = nullptr);

    // Why the last setPath failed: the system's error number and its description.
    struct Failure {
        int number = 0;
        QString description;
    };

    // The open folder, with the platform's separators; a root keeps its trailing separator.
    QString path() const { return path_; }
    // Opens the folder. Emits pathChanged when the path actually changes, as the operator's
    // opening does. A folder that cannot be listed leaves everything as it was and returns
    // false; lastFailure() then says why.
    bool setPath(const QString& path);
    const Failure& lastFailure() const { return lastFailure_; }

signals:
    void pathChanged(const QString& path);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void openItem(QListWidgetItem* item);
    void fill();

    QString path_;
    Failure lastFailure_;
};
