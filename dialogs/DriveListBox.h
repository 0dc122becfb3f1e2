#pragma once

#include <QComboBox>
#include <QString>

// The drive list: the root, the home folder and the volumes a desktop file manager shows
// (qyn::desktopVolumes), each named by its root path. It starts on the volume of the process's current folder.
class DriveListBox : public QComboBox {
    Q_OBJECT

public:
    explicit DriveListBox(QWidget* parent = nullptr);

    // The root path of the chosen volume.
    QString drive() const;
    // Chooses the volume with this root path; a root that is not (or no longer) mounted is
    // added as it is, so that opening it fails where the folder list tries.
    // Emits driveChanged when the drive actually changes, as the operator's choice does.
    void setDrive(const QString& root);
    // Names the volume that holds folder, without driveChanged: the folder list has moved
    // on its own, and the drive list follows it rather than sending it to a root.
    void followFolder(const QString& folder);

signals:
    void driveChanged(const QString& root);

private:
    int addDrive(const QString& root, const QString& label);
};
